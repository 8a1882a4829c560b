# `cpack` in a build configured with the release preset makes clipferry_<version>_amd64.deb;
# scripts/package does both and checks the result.

include(GNUInstallDirs)

set(CLIPFERRY_HOMEPAGE_URL "https://clipferry.example" CACHE STRING
    "Web address of the project, shown by software centres")
set(CLIPFERRY_SCREENSHOT_URL "${CLIPFERRY_HOMEPAGE_URL}/screenshots/window.png" CACHE STRING
    "Web address of docs/screenshots/window.png, shown by software centres")
set(CLIPFERRY_MAINTAINER "Clipferry maintainers <maintainers@clipferry.example>" CACHE STRING
    "Maintainer field of the Debian package")

configure_file(resources/com.clipferry.clipferry.metainfo.xml.in
    ${CMAKE_BINARY_DIR}/com.clipferry.clipferry.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/com.clipferry.clipferry.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The sheet web app is deployed by hand from these files; its README says how.
install(FILES webapp/README.md webapp/Code.gs webapp/appsscript.json
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/clipferry/webapp)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME clipferry)
set(CPACK_PACKAGE_VERSION "${CLIPFERRY_VERSION}")
set(CPACK_PACKAGE_CONTACT "${CLIPFERRY_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Deliver clips to Mux and follow each city's animations")
set(CPACK_PACKAGE_DESCRIPTION "\
Meridia Companion uploads clips dropped on its window to the Mux video service,
lists the Mux library or a local folder grouped by city and animation, shows
each city's progress, marks new or changed clips and publishes every playback
address to a Google Sheet.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CLIPFERRY_HOMEPAGE_URL}")
# Depends comes from the libraries the executable links, as dpkg-shlibdeps finds them, and
# the plugins Qt loads at run time, which it cannot see: the delivery ledger's SQLite driver.
# The network information backends (NetworkManager's, GLib's) ship in libqt6network6, which
# the executable links, so they need no entry here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_STRIP_FILES ON)
include(CPack)
