# The program against a sound server that stalls and restarts, and against
# signals, with the private server of tests/support/with-pulse.sh.
velmar_add_pulse_test(hardening.pulse_stall "PulseStall.*" 300)
# Under Xvfb (no window manager), for the window of a start during a stall.
add_test(NAME hardening.signals
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/with-pulse.sh
                 xvfb-run -a -s "-screen 0 640x480x24 -noreset"
                 $<TARGET_FILE:velmar_tests> --gtest_filter=PulseSignals.*)
set_tests_properties(hardening.signals PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen" SKIP_RETURN_CODE 77 TIMEOUT 180)
