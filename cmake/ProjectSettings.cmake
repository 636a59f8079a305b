# Standard settings and warnings, linked PRIVATE into every target of the project.
add_library(torvane_warnings INTERFACE)
target_compile_options(torvane_warnings INTERFACE -Wall -Wextra $<$<BOOL:${TORVANE_WERROR}>:-Werror>
    # GCC 12 reports overlaps inside libstdc++'s own string code at -O2 and above (GCC bug 105329).
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)

add_library(torvane_sanitizers INTERFACE)
if(TORVANE_FUZZ)
    # Coverage for libFuzzer in every library the targets call; only the targets link libFuzzer.
    target_compile_options(torvane_sanitizers INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(torvane_sanitizers INTERFACE -fsanitize=address,undefined)
elseif(TORVANE_SANITIZE)
    target_compile_options(torvane_sanitizers INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(torvane_sanitizers INTERFACE -fsanitize=address,undefined)
endif()

# The test command links dozens of large debug binaries; a faster linker saves it minutes.
set(TORVANE_LINKER "" CACHE STRING "Linker the compiler driver uses (-fuse-ld=, e.g. mold); empty: its default")
add_library(torvane_linker INTERFACE)
if(TORVANE_LINKER)
    target_link_options(torvane_linker INTERFACE "-fuse-ld=${TORVANE_LINKER}")
endif()

add_library(torvane_settings INTERFACE)
target_link_libraries(torvane_settings INTERFACE torvane_warnings torvane_sanitizers torvane_linker)
