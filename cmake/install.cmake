# Desktop integration: the entry, the AppStream metainfo and the icon in the
# hicolor theme, all named after the application id (see src/app/Identity.h).
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
