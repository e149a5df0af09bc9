# Desktop integration: install into a staging prefix and validate the entry,
# the metainfo and the icons.
add_test(NAME install_desktop_integration
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/check-install.sh ${CMAKE_BINARY_DIR}
                 ${CMAKE_SOURCE_DIR})
