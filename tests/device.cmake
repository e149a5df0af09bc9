# The device's tests play images written by the project's own generator.
target_link_libraries(velmar_tests PRIVATE velmar_discgen)
target_compile_definitions(velmar_tests PRIVATE
  VELMAR_PROGRAM="$<TARGET_FILE:velmar>"
  VELMAR_MKDISC="$<TARGET_FILE:velmar-mkdisc>")
add_dependencies(velmar_tests velmar velmar-mkdisc)

# End to end through real ALSA: a private PulseAudio server with a null sink,
# the real program on an image, the sink's monitor recorded. Skipped (77)
# where no server can be started.
add_test(NAME EndToEnd.PlaysAnImageThroughAlsa
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/with-pulse.sh
                 $<TARGET_FILE:velmar_tests> --gtest_filter=EndToEnd.*)
set_tests_properties(EndToEnd.PlaysAnImageThroughAlsa PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  SKIP_RETURN_CODE 77
  TIMEOUT 180)
