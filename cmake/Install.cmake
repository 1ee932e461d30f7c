# Where the installed program and its desktop integration go; the Debian
# package (debian/, scripts/package.sh) installs the same tree.

include(GNUInstallDirs)

set(SONORET_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
set(SONORET_ICON_SIZES 16 32 48 64 128 256)

# The help pages sit beside the executable in the build tree, so the program
# finds them there as it finds them under share/ once installed.
set(SONORET_HELP_PAGES ${SONORET_DATA_DIR}/help/index.html ${SONORET_DATA_DIR}/help/index.en.html)
foreach(page IN LISTS SONORET_HELP_PAGES)
  get_filename_component(name ${page} NAME)
  configure_file(${page} ${PROJECT_BINARY_DIR}/src/app/help/${name} COPYONLY)
endforeach()

install(TARGETS midi-sonoret midi-sonoret-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The manual pages, compressed as Debian ships them (no name or time inside).
set(SONORET_MAN_PAGES)
foreach(page midi-sonoret midi-sonoret-convert)
  set(compressed ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
                     COMMAND sh -c "gzip -9nc '${SONORET_DATA_DIR}/man/${page}.1' > '${compressed}'"
                     DEPENDS ${SONORET_DATA_DIR}/man/${page}.1 VERBATIM)
  list(APPEND SONORET_MAN_PAGES ${compressed})
endforeach()
add_custom_target(sonoret_man_pages ALL DEPENDS ${SONORET_MAN_PAGES})
install(FILES ${SONORET_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The software centres' entry.
install(FILES ${SONORET_DATA_DIR}/metainfo/io.github.midisonoret.MidiSonoret.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${SONORET_DATA_DIR}/midi-sonoret.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${SONORET_DATA_DIR}/mime/midi-sonoret.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${SONORET_HELP_PAGES} DESTINATION ${CMAKE_INSTALL_DATADIR}/midi-sonoret/help)
install(FILES ${SONORET_QM_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/midi-sonoret/translations)
install(FILES ${SONORET_DATA_DIR}/icons/midi-sonoret.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS SONORET_ICON_SIZES)
  install(FILES ${SONORET_DATA_DIR}/icons/midi-sonoret-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME midi-sonoret.png)
endforeach()
