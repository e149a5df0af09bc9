# Desktop integration: the entry, the AppStream metainfo, the icon in the
# hicolor theme and the MIME types Debian does not define, all named after the
# application id (see src/app/Identity.h); and the manual pages.
set(VELMAR_APP_ID org.velmar.Velmar)

install(FILES ${CMAKE_SOURCE_DIR}/data/${VELMAR_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/${VELMAR_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 64 128)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/pictures/velmar-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${VELMAR_APP_ID}.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/data/${VELMAR_APP_ID}.mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${VELMAR_APP_ID}.xml)
install(FILES ${CMAKE_SOURCE_DIR}/data/velmar.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/data/velmar.es.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/es/man1
        RENAME velmar.1)

# Installed straight into a prefix (no DESTDIR), nothing else refreshes that
# prefix's MIME database, so this does. A staged install (DESTDIR, as a
# package build does) leaves it to the package manager's triggers.
install(CODE "set(VELMAR_MIME_DIR \"${CMAKE_INSTALL_DATADIR}/mime\")")
install(CODE [[
  if("$ENV{DESTDIR}" STREQUAL "")
    cmake_path(ABSOLUTE_PATH VELMAR_MIME_DIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
    find_program(VELMAR_UPDATE_MIME_DATABASE update-mime-database)
    if(VELMAR_UPDATE_MIME_DATABASE)
      execute_process(COMMAND "${VELMAR_UPDATE_MIME_DATABASE}" "${VELMAR_MIME_DIR}"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endif()
]])
