# Installation: the programs in bin/, the help file, the shipped sample data
# and the key store in share/quarzel/, the desktop entry, metainfo, icons and
# manual pages where the desktop looks for them; and a Debian package of it.
include(GNUInstallDirs)

set(QUARZEL_SHARE ${CMAKE_INSTALL_DATADIR}/quarzel)
set(SHIPPED ${CMAKE_BINARY_DIR}/shipped)

# A pristine sample database for the package, apart from the one the build
# folder's copy of the program works on.
add_custom_command(
  OUTPUT ${SHIPPED}/quarzdb32.mdb ${SHIPPED}/tarnvel.mdw
  COMMAND quarzel-db create ${SHIPPED}
  DEPENDS quarzel-db
  COMMENT "Creating the shipped sample database")

# Manual pages and the Debian changelog, compressed as Debian expects.
set(COMPRESSED)
foreach(source man/quarzel.1 man/quarzel-db.1 debian/changelog)
  get_filename_component(name ${source} NAME)
  set(out ${SHIPPED}/${name}.gz)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${SHIPPED}
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/data/${source} > ${out}
    DEPENDS ${PROJECT_SOURCE_DIR}/data/${source})
  list(APPEND COMPRESSED ${out})
endforeach()
add_custom_target(shipped_files ALL DEPENDS ${SHIPPED}/quarzdb32.mdb ${SHIPPED}/tarnvel.mdw
                                            ${COMPRESSED})

install(TARGETS quarzel quarzel-db RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/bin/STONARC.CHM
              ${SHIPPED}/quarzdb32.mdb ${SHIPPED}/tarnvel.mdw
        DESTINATION ${QUARZEL_SHARE})
# The icon is drawn once, as SVG, and rendered at each size it is shipped in.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(ICON_SOURCE ${PROJECT_SOURCE_DIR}/data/icons/quarzel.svg)
set(ICONS)
foreach(size 16 32 64)
  set(out ${SHIPPED}/quarzel-${size}.png)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${SHIPPED}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} ${ICON_SOURCE} -o ${out}
    DEPENDS ${ICON_SOURCE})
  list(APPEND ICONS ${out})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME quarzel.png)
endforeach()
install(FILES ${ICON_SOURCE} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
add_custom_target(icons ALL DEPENDS ${ICONS})
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/example.quarzelgeochem.Quarzel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/example.quarzelgeochem.Quarzel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${SHIPPED}/quarzel.1.gz ${SHIPPED}/quarzel-db.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarzel)
install(FILES ${SHIPPED}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarzel
        RENAME changelog.gz) # a native package: no Debian revision

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarzel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Quarzel developers <support@quarzel-geochem.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "geochemical database of whole-rock analyses")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quarzel keeps whole-rock geochemical analyses of rock samples in an\nembedded database and lets its user browse, search, sort, edit, copy and\nprint them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries: the desktop's opener for the home page, and the
# metric twin of Arial that the reports print in.
# The map opens PROJ's and GMT's libraries when first drawn, so the
# linker's list of libraries does not name them; the coastlines are GMT's data.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "xdg-utils, fonts-liberation, libproj25, libgmt6, gmt-common, gmt-gshhg-low")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
