# What `cmake --install` puts on a Linux system, and the Debian package CPack makes of it:
# the two programs, their man pages (compressed, as Debian keeps man pages), the window
# program's menu entry and its icon in the hicolor theme, the README, the changelog and the
# licence under share/doc, and the reasons for what the package checker would otherwise flag.
include(GNUInstallDirs)

set(ORVANE_PACKAGE_NAME orvane-probe-formations)
set(_man_pages ${ORVANE_PACKAGE_NAME} ${ORVANE_PACKAGE_NAME}-ui)
set(_man_gzs "")
foreach(_page IN LISTS _man_pages)
  set(_man_source "${PROJECT_SOURCE_DIR}/man/${_page}.1")
  set(_man_gz "${PROJECT_BINARY_DIR}/man/${_page}.1.gz")
  # -n keeps the name and time out of the header, so the same page gives the same bytes.
  add_custom_command(
    OUTPUT "${_man_gz}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${PROJECT_BINARY_DIR}/man"
    COMMAND sh -c "gzip -9 -n -c \"$1\" >\"$2\"" sh "${_man_source}" "${_man_gz}"
    DEPENDS "${_man_source}"
    COMMENT "Compressing the man page ${_page}.1"
    VERBATIM)
  list(APPEND _man_gzs "${_man_gz}")
endforeach()
add_custom_target(man_page ALL DEPENDS ${_man_gzs})

set(_changelog_gz "${PROJECT_BINARY_DIR}/changelog.gz")
add_custom_command(
  OUTPUT "${_changelog_gz}"
  COMMAND sh -c "gzip -9 -n -c \"$1\" >\"$2\"" sh "${PROJECT_SOURCE_DIR}/packaging/debian/changelog"
          "${_changelog_gz}"
  DEPENDS "${PROJECT_SOURCE_DIR}/packaging/debian/changelog"
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(changelog ALL DEPENDS "${_changelog_gz}")

set(_doc_dir "${CMAKE_INSTALL_DATAROOTDIR}/doc/${ORVANE_PACKAGE_NAME}")
install(FILES ${_man_gzs} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${PROJECT_SOURCE_DIR}/src/ui/${ORVANE_PACKAGE_NAME}-ui.desktop"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/applications")
foreach(_size IN LISTS ORVANE_ICON_SIZES)
  install(FILES "${ORVANE_ICON_DIR}/${_size}.png"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${_size}x${_size}/apps"
          RENAME ${ORVANE_PACKAGE_NAME}.png)
endforeach()
install(FILES "${ORVANE_ICON_SOURCE}"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps"
        RENAME ${ORVANE_PACKAGE_NAME}.svg)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${_doc_dir}")
install(FILES "${_changelog_gz}" DESTINATION "${_doc_dir}")
install(FILES "${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides"
        RENAME ${ORVANE_PACKAGE_NAME})
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION "${_doc_dir}" RENAME copyright)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ORVANE_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "The orvane-probe-formations developers <developers@orvane-probe-formations.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "copy custom probe-scanning formations between Orvane accounts")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Reads the custom probe-scanning formations out of one account's settings\n"
  "file of the Orvane game client, writes them to a small JSON package, and\n"
  "merges a package into the settings files of other accounts. Every other\n"
  "setting survives a rewrite unchanged, and every file is backed up before\n"
  "it is rewritten. orvane-probe-formations-ui shows every account's\n"
  "formations side by side in a local web page, to preview, copy and undo.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A utility for a game, not a game.
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The program is linked statically, so there are no shared libraries for dpkg-shlibdeps to name.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
