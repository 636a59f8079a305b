# Every outside library the project uses is found here, once, from Debian's packages.
# Optional facilities leave their <name>_FOUND false; the tool that needs one then builds without it.
find_package(PkgConfig REQUIRED)

find_package(nlohmann_json 3 REQUIRED)
find_package(CLI11 REQUIRED)
find_package(fmt REQUIRED)
find_package(spdlog REQUIRED)

# figdeck: libharu page model, stb_image for image headers
find_library(HPDF_LIBRARY NAMES hpdf)
find_path(HPDF_INCLUDE_DIR hpdf.h)
find_path(STB_INCLUDE_DIR stb_image.h PATH_SUFFIXES stb)
find_library(STB_LIBRARY NAMES stb)
find_package(ZLIB)
if(HPDF_LIBRARY AND HPDF_INCLUDE_DIR)
    add_library(torvane::hpdf INTERFACE IMPORTED)
    target_link_libraries(torvane::hpdf INTERFACE "${HPDF_LIBRARY}")
    target_include_directories(torvane::hpdf INTERFACE "${HPDF_INCLUDE_DIR}")
    set(HPDF_FOUND TRUE)
endif()
if(STB_INCLUDE_DIR)
    add_library(torvane::stb INTERFACE IMPORTED)
    target_include_directories(torvane::stb INTERFACE "${STB_INCLUDE_DIR}")
    if(STB_LIBRARY)
        target_link_libraries(torvane::stb INTERFACE "${STB_LIBRARY}")
    endif()
    set(STB_FOUND TRUE)
endif()

# gridpage
pkg_check_modules(QPDF IMPORTED_TARGET libqpdf)

# chartdoc
pkg_check_modules(MD4C IMPORTED_TARGET md4c md4c-html)

# workbooks and CSV (dealmatch, claimsort)
pkg_check_modules(LIBZIP IMPORTED_TARGET libzip)
pkg_check_modules(EXPAT IMPORTED_TARGET expat)
pkg_check_modules(FREEXL IMPORTED_TARGET freexl)
pkg_check_modules(XLSXWRITER IMPORTED_TARGET xlsxwriter)
find_library(CSV_LIBRARY NAMES csv)
find_path(CSV_INCLUDE_DIR csv.h)
if(CSV_LIBRARY AND CSV_INCLUDE_DIR)
    add_library(torvane::csv INTERFACE IMPORTED)
    target_link_libraries(torvane::csv INTERFACE "${CSV_LIBRARY}")
    target_include_directories(torvane::csv INTERFACE "${CSV_INCLUDE_DIR}")
    set(CSV_FOUND TRUE)
endif()
find_path(DATE_INCLUDE_DIR date/date.h)
