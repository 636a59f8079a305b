# torvane_add_tool(<name> ENTRY ... SOURCES ... [LIBRARIES ...] [DEFINITIONS ...] [FACILITY <source>])
# ENTRY holds what describes the command: torvane::<name>::command() with its texts, template
# and frame. It is compiled into the front program, so help, the manual page and completion
# need no tool library. SOURCES are the command's work: a shared library that the front opens
# only when the command runs, with the worker the entry names. DEFINITIONS apply to both.
# FACILITY names the one source (listed in ENTRY or SOURCES) that reads the facility's
# definition: it compiles outside the unity files, so that the others preprocess the same with the
# facility on or off, and the build without facilities gives them to the full one through ccache.
function(torvane_add_tool name)
    cmake_parse_arguments(ARG "" "FACILITY" "ENTRY;SOURCES;LIBRARIES;DEFINITIONS" ${ARGN})
    if(ARG_FACILITY)
        set_source_files_properties(${ARG_FACILITY} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
    endif()
    add_library(torvane_${name}_entry STATIC ${ARG_ENTRY})
    target_include_directories(torvane_${name}_entry PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/include")
    target_link_libraries(torvane_${name}_entry PUBLIC torvane::command_entry
                                                PRIVATE torvane_settings)
    target_compile_definitions(torvane_${name}_entry PRIVATE ${ARG_DEFINITIONS})

    add_library(torvane_${name} SHARED ${ARG_SOURCES})
    target_include_directories(torvane_${name} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/include")
    target_link_libraries(torvane_${name} PUBLIC helmkit::helmkit torvane::command_entry
                                          PRIVATE torvane_settings ${ARG_LIBRARIES})
    target_compile_definitions(torvane_${name} PRIVATE ${ARG_DEFINITIONS})
    # Programs that link the whole tool (tests, benchmarks) get its texts and template too; the
    # library itself leaves them to the front, which holds them once.
    add_library(torvane_${name}_tool INTERFACE)
    target_link_libraries(torvane_${name}_tool INTERFACE torvane_${name} torvane_${name}_entry)
    add_library(torvane::${name} ALIAS torvane_${name}_tool)
    set_property(GLOBAL APPEND PROPERTY TORVANE_TOOLS ${name})
endfunction()

# The one type a tool shares with the front: the description of its command. Its JSON type
# comes from helmkit, which holds that type's compiled members.
add_library(torvane_command_entry INTERFACE)
add_library(torvane::command_entry ALIAS torvane_command_entry)
target_include_directories(torvane_command_entry INTERFACE "${PROJECT_SOURCE_DIR}/front/include")
target_link_libraries(torvane_command_entry INTERFACE helmkit::helmkit)
