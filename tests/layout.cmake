# The real program under Xvfb: screenshot and pixel checks of its window. A
# private sound server gives it a mixer, so no message box comes first.
add_test(NAME xvfb_window_layout
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/with-pulse.sh
                 ${CMAKE_CURRENT_SOURCE_DIR}/support/xvfb-layout.sh $<TARGET_FILE:velmar>
                 ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/artifacts)
set_tests_properties(xvfb_window_layout PROPERTIES TIMEOUT 60)
