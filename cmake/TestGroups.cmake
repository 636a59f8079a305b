# Run by CTest (see torvane_add_test_suite): lists the tests of a GoogleTest program and writes
# CTest's tests for it into OUTPUT, one per GoogleTest suite (--gtest_filter=Suite.*), and one
# per test for the suites named in ALONE, or for every suite with EACH_TEST. A test of its own is
# named after its parameter when it has one ("Sweep.Fails/\"write\"") and counts as skipped when
# GoogleTest skipped it. Each test writes GoogleTest's report to RESULTS/<CTest name>.xml: a
# suite passes as a whole, and the report says which of its tests skipped themselves.
# Input: PROGRAM, PREFIX (of every CTest name), ALONE (suite names, ;-separated), EACH_TEST,
# COST, WORKING_DIRECTORY, RESULTS, OUTPUT.
cmake_minimum_required(VERSION 3.25)
# Listing a sanitized program's tests can take seconds on a busy machine.
execute_process(COMMAND "${PROGRAM}" --gtest_list_tests
    WORKING_DIRECTORY "${WORKING_DIRECTORY}"
    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 60)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "listing the tests of ${PROGRAM} failed (${status}):\n${listing}${errors}")
endif()

set(script "")
set(skipped [==[\[  SKIPPED \]]==])
# add_ctest(<CTest name> <filter> <whether it is one test>)
function(add_ctest name filter one_test)
    set(more "")
    if(one_test)
        set(more " SKIP_REGULAR_EXPRESSION [==[${skipped}]==]")
    endif()
    string(APPEND script
        "add_test([==[${PREFIX}${name}]==] [==[${PROGRAM}]==] [==[--gtest_filter=${filter}]==])\n"
        "set_tests_properties([==[${PREFIX}${name}]==] PROPERTIES"
        " WORKING_DIRECTORY [==[${WORKING_DIRECTORY}]==] TIMEOUT 600 COST ${COST}"
        " ENVIRONMENT [==[GTEST_OUTPUT=xml:${RESULTS}/${PREFIX}${name}.xml]==]${more})\n")
    set(script "${script}" PARENT_SCOPE)
endfunction()

string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suite "")
set(alone FALSE)
foreach(line IN LISTS lines)
    if(line MATCHES "^([^ #]+)\\.( .*)?$")
        set(suite "${CMAKE_MATCH_1}")
        set(alone ${EACH_TEST})
        if(suite IN_LIST ALONE)
            set(alone TRUE)
        endif()
        if(NOT alone)
            add_ctest("${suite}" "${suite}.*" FALSE)
        endif()
    elseif(alone AND line MATCHES "^  ([^ ]+)( +# GetParam\\(\\) = (.*))?$")
        set(test "${CMAKE_MATCH_1}")
        set(name "${test}")
        if(CMAKE_MATCH_2)
            string(REGEX REPLACE "/[0-9]+$" "/${CMAKE_MATCH_3}" name "${test}")
        endif()
        add_ctest("${suite}.${name}" "${suite}.${test}" TRUE)
    endif()
endforeach()
file(WRITE "${OUTPUT}" "${script}")
