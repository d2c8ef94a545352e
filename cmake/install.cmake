# Install rules and the Debian package (cpack -G DEB).
#
#   <prefix>/bin                          kelvor, kelvor-station
#   <prefix>/<libdir>/kelvor              libkelvor_sim_usbio.so (and a site's libusbio.so)
#   <prefix>/share/kelvor                 rfpwm.hex, examples/
#   <prefix>/share/applications           kelvor-station.desktop
#   <prefix>/share/icons/hicolor/...      kelvor-station.svg
#   <prefix>/share/doc/kelvor             README.md and its picture
#
# The program finds the shared folder from its own place (<prefix>/bin/..), so the tree works
# wherever it is unpacked.

install(TARGETS kelvor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET kelvor-station)
    install(TARGETS kelvor-station RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES resources/kelvor-station.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES resources/icons/app.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME kelvor-station.svg)
endif()
install(TARGETS kelvor_sim_usbio LIBRARY DESTINATION ${KELVOR_INSTALL_PLUGINDIR})
install(FILES examples/rfpwm.hex DESTINATION ${KELVOR_INSTALL_DATADIR})
install(DIRECTORY examples/ DESTINATION ${KELVOR_INSTALL_DATADIR}/examples
    PATTERN "build.sh" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES docs/first-burn.png DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

set(CPACK_PACKAGE_NAME kelvor)
set(CPACK_PACKAGE_VENDOR "KEL-VOR")
set(CPACK_PACKAGE_CONTACT "KEL-VOR station developers <station@kel-vor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Programming station for OTP and MTP chips")
set(CPACK_PACKAGE_DESCRIPTION "A desktop and command-line station that programs and checks
KEL-VOR one-time and multi-time programmable chips through a USB programmer, with a simulated
programmer for training and testing.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME "kelvor_${PROJECT_VERSION}_amd64")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kel-vor.invalid/station")
# The libraries the programs link come from dpkg-shlibdeps; what Qt loads at run time it does
# not see: the SVG icon engine (libqt6svg6) and the fonts for the Chinese texts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# Qt's own dialogs in Chinese come from qt6-translations-l10n; without it they stay English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n")
include(CPack)
