# The device's tests play images written by the project's own generator.
target_link_libraries(velmar_tests PRIVATE velmar_discgen)
target_compile_definitions(velmar_tests PRIVATE
  VELMAR_PROGRAM="$<TARGET_FILE:velmar>"
  VELMAR_MKDISC="$<TARGET_FILE:velmar-mkdisc>")
add_dependencies(velmar_tests velmar velmar-mkdisc)

# End to end through real ALSA: the real program on an image, the sink's
# monitor recorded.
velmar_add_pulse_test(EndToEnd.PlaysAnImageThroughAlsa "EndToEnd.*" 180)
