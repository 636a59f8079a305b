# Run by CTest (see torvane_add_test_suite): lists the tests of a GoogleTest program and writes
# CTest's tests for it into OUTPUT, one per GoogleTest suite (--gtest_filter=Suite.*), and one
# per test for the suites named in ALONE, whose tests change the process for the tests after them.
# Each test writes GoogleTest's report to RESULTS/<CTest name>.xml: a suite passes as a whole,
# and the report says which of its tests skipped themselves.
# Input: PROGRAM, PREFIX (of every CTest name), ALONE (suite names, ;-separated), COST,
# WORKING_DIRECTORY, RESULTS, OUTPUT.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND "${PROGRAM}" --gtest_list_tests
    WORKING_DIRECTORY "${WORKING_DIRECTORY}"
    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 60)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "listing the tests of ${PROGRAM} failed (${status}):\n${listing}${errors}")
endif()

string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(tests "")
set(suite "")
foreach(line IN LISTS lines)
    # A comment follows parameterised names: "  Name/0  # GetParam() = 3".
    string(REGEX REPLACE " +#.*" "" line "${line}")
    if(line MATCHES "^([^ ].*)\\.$")
        set(suite "${CMAKE_MATCH_1}")
        if(NOT suite IN_LIST ALONE)
            list(APPEND tests "${suite}")
        endif()
    elseif(line MATCHES "^  (.+)$" AND suite IN_LIST ALONE)
        list(APPEND tests "${suite}.${CMAKE_MATCH_1}")
    endif()
endforeach()

set(script "")
foreach(test IN LISTS tests)
    if(test MATCHES "\\.")
        set(filter "${test}")
    else()
        set(filter "${test}.*")
    endif()
    string(APPEND script
        "add_test([==[${PREFIX}${test}]==] [==[${PROGRAM}]==] [==[--gtest_filter=${filter}]==])\n"
        "set_tests_properties([==[${PREFIX}${test}]==] PROPERTIES"
        " WORKING_DIRECTORY [==[${WORKING_DIRECTORY}]==] TIMEOUT 600 COST ${COST}"
        " ENVIRONMENT [==[GTEST_OUTPUT=xml:${RESULTS}/${PREFIX}${test}.xml]==])\n")
endforeach()
file(WRITE "${OUTPUT}" "${script}")
