# The Debian package torvane_<version>_amd64.deb, made by CPack from the install rules
# (packaging/CMakeLists.txt): `cmake --build build --target package`, or scripts/package.sh
# for a release build.
set(TORVANE_PACKAGE_MAINTAINER "torvane maintainers <maintainers@torvane.invalid>" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvane)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command-line toolbox for laboratory and office chores")
# One text: separate arguments would make a list, joined by semicolons.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "One front program, torvane, and its tools: figdeck builds a PDF lab report from a folder of "
    "images, gridpage merges PDF files n-up onto A4 sheets, chartdoc turns Markdown documents and "
    "Mermaid diagrams into a static HTML site, dealmatch matches order data of a CSV export "
    "against a customer workbook, and claimsort renames expense workbooks after their cells.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TORVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps adds the packages of every shared library the program and its own libraries
# link; figdeck reads the DejaVu fonts at run time, and chartdoc's renderer comes from npm.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "chromium, npm")
include(CPack)
