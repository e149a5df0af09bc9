# The volume slider against the real ALSA mixer of a private PulseAudio server
# with a null sink. Skipped (77) when no server can be started.
add_test(NAME volume.pulse_master_volume
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/with-pulse.sh
                 $<TARGET_FILE:velmar_tests> --gtest_filter=PulseVolume.*)
set_tests_properties(volume.pulse_master_volume PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  SKIP_RETURN_CODE 77
  TIMEOUT 120)

