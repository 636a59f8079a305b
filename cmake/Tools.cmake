# torvane_add_tool(<name> SOURCES ... [LIBRARIES ...] [DEFINITIONS ...])
# Builds the tool as a shared library and registers it with the front program, which
# calls torvane::<name>::command() to learn the command's name, texts and function.
function(torvane_add_tool name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;DEFINITIONS" ${ARGN})
    add_library(torvane_${name} SHARED ${ARG_SOURCES})
    add_library(torvane::${name} ALIAS torvane_${name})
    target_include_directories(torvane_${name} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/include")
    target_link_libraries(torvane_${name} PUBLIC helmkit::helmkit torvane::command_entry
                                          PRIVATE torvane_settings ${ARG_LIBRARIES})
    target_compile_definitions(torvane_${name} PRIVATE ${ARG_DEFINITIONS})
    set_property(GLOBAL APPEND PROPERTY TORVANE_TOOLS ${name})
endfunction()

# The one type a tool shares with the front: the description of its command.
add_library(torvane_command_entry INTERFACE)
add_library(torvane::command_entry ALIAS torvane_command_entry)
target_include_directories(torvane_command_entry INTERFACE "${PROJECT_SOURCE_DIR}/front/include")
