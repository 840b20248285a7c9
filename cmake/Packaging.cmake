# Where Debian expects each file of an installed Stillweaver, and the .deb
# that `make package` builds from them. The programs install from their own
# folders; this adds the desktop entry, icons, man pages and completion.
include(GNUInstallDirs)

install(FILES res/stillweaver.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48)
  install(FILES res/stillweaver-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME stillweaver.png)
endforeach()
install(FILES res/stillweaver.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES res/stillweaver-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME stillweaver-cli)

# Man pages go compressed, without a time stamp, so the package is
# reproducible.
set(man_pages "")
foreach(page stillweaver.1 stillweaver-cli.1)
  set(compressed "${PROJECT_BINARY_DIR}/man/${page}.gz")
  add_custom_command(OUTPUT "${compressed}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${PROJECT_BINARY_DIR}/man"
    COMMAND gzip -9 -n -c "${PROJECT_SOURCE_DIR}/docs/man/${page}" > "${compressed}"
    DEPENDS "${PROJECT_SOURCE_DIR}/docs/man/${page}" VERBATIM)
  list(APPEND man_pages "${compressed}")
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/stillweaver)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME stillweaver)
set(CPACK_PACKAGE_VENDOR "Stillweaver")
set(CPACK_PACKAGE_CONTACT "Stillweaver maintainers <stillweaver@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn still pictures into an AVI video and play AVIs frame by frame")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Stillweaver makes an AVI video from an ordered list of still pictures (JPEG, BMP, PNG, GIF, TIFF), "
    "uncompressed or with an FFmpeg compressor, and plays AVI videos frame by frame, saving the frames "
    "it shows as JPEG files. stillweaver-cli runs the same jobs from scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are the library packages the programs really link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so no linker sees them: the window needs Qt's platform
# plugins (xcb, wayland), which libqt6gui6 only recommends.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
include(CPack)
