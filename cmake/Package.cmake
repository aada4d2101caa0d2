# Installation and the Debian package (scripts/package.sh runs it): the three programs, their
# manual pages made from their help texts, the desktop entry and icon, the udev rule, the
# example firmware the demo programs, and the documentation. Dependencies come from the shared
# libraries the programs link (dpkg-shlibdeps), plus what Qt loads at run time.
include(GNUInstallDirs)

set(PELLION_PROGRAMS pellion-cli pellion-sim)
if(TARGET pellion)
  list(PREPEND PELLION_PROGRAMS pellion)
endif()
set(PELLION_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/pellion)
set(PELLION_PACKAGE_VERSION ${PELLION_FILE_VERSION})
if(NOT PELLION_PACKAGE_VERSION)
  set(PELLION_PACKAGE_VERSION ${PROJECT_VERSION})
endif()

install(TARGETS ${PELLION_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Beside bin/: where the demo finds its firmware and the window knows it is installed.
install(FILES firmware/example.hex DESTINATION ${CMAKE_INSTALL_DATADIR}/pellion)
install(FILES packaging/pellion.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES app/resources/icon.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        RENAME pellion.png)
install(FILES packaging/60-pellion.rules DESTINATION lib/udev/rules.d)
install(FILES README.md packaging/README.Debian packaging/copyright DESTINATION ${PELLION_DOC_DIR})
install(DIRECTORY docs/ DESTINATION ${PELLION_DOC_DIR}/docs)
install(FILES sim/README.md DESTINATION ${PELLION_DOC_DIR}/sim)

# Manual pages and the changelog are made by the pellion_package_files target.
find_program(PELLION_HELP2MAN help2man)
set(PELLION_MAN_NAME_pellion "the operator's window: programs many microcontrollers at once")
set(PELLION_MAN_NAME_pellion-cli "programs many microcontrollers at once from a terminal")
set(PELLION_MAN_NAME_pellion-sim "virtual chips with a serial bootloader on pseudo-terminals")
set(PELLION_PACKAGE_FILES)
if(PELLION_HELP2MAN)
  foreach(program ${PELLION_PROGRAMS})
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_SOURCE_DIR}/packaging/man-page.sh $<TARGET_FILE:${program}>
              "${PELLION_MAN_NAME_${program}}" ${PELLION_PACKAGE_VERSION} ${page}
      DEPENDS ${program} ${CMAKE_SOURCE_DIR}/packaging/man-page.sh
      VERBATIM)
    list(APPEND PELLION_PACKAGE_FILES ${page})
  endforeach()
  install(FILES ${PELLION_PACKAGE_FILES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# Dated from SOURCE_DATE_EPOCH when it is set, so that a package can be built again alike.
string(TIMESTAMP PELLION_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9n -f -k ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
  VERBATIM)
list(APPEND PELLION_PACKAGE_FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${PELLION_DOC_DIR})
add_custom_target(pellion_package_files DEPENDS ${PELLION_PACKAGE_FILES})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pellion)
set(CPACK_PACKAGE_VERSION ${PELLION_PACKAGE_VERSION})
set(CPACK_PACKAGE_CONTACT "Pellion developers <pellion@pellion.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "program one firmware image into many microcontrollers at once")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Pellion programs one firmware image into many microcontrollers at once,\n"
  "one chip per serial port, through the serial bootloader built into each\n"
  "chip. It comes as a Qt window for the operator (pellion), a command line\n"
  "for automated stations (pellion-cli) and virtual chips (pellion-sim) to\n"
  "try everything without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, so no linked library names them: the platform plugins (xcb) and
# fonts with the window's Chinese texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Qt's own Chinese for the standard buttons and the file dialog of the Chinese window.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei, qt6-translations-l10n")
include(CPack)
