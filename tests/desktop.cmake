# The desktop's view of the player: MPRIS2, one running copy per session and
# the named sound stream, each case on a private session bus of its own
# (tests/support/with-dbus.sh) and against the private PulseAudio server.
# Skipped (77) where neither can be had, except in CI.
function(velmar_add_dbus_pulse_test name filter timeout)
  add_test(NAME ${name}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/with-pulse.sh
                   ${CMAKE_CURRENT_SOURCE_DIR}/support/with-dbus.sh
                   $<TARGET_FILE:velmar_tests> --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    SKIP_RETURN_CODE 77
    TIMEOUT ${timeout})
endfunction()

velmar_add_dbus_pulse_test(desktop.opens "DesktopOpens.*" 180)
# The launcher's token under Xvfb (no window manager), as X11 clients see it.
add_test(NAME desktop.launch_token
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/with-pulse.sh
                 xvfb-run -a -s "-screen 0 640x480x24 -noreset"
                 ${CMAKE_CURRENT_SOURCE_DIR}/support/with-dbus.sh
                 $<TARGET_FILE:velmar_tests> --gtest_filter=LaunchToken.*)
set_tests_properties(desktop.launch_token PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
velmar_add_dbus_pulse_test(desktop.playerctl "Playerctl.*" 180)

# The stream under PipeWire's own ALSA plug-in, against a private PipeWire
# server (tests/support/with-pipewire.sh). scripts/velmar.sh test unpacks the
# plug-in into the build folder; the package itself would remove PulseAudio.
add_test(NAME desktop.pipewire_alsa_stream
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/with-dbus.sh
                 ${CMAKE_CURRENT_SOURCE_DIR}/support/with-pipewire.sh
                 ${CMAKE_BINARY_DIR}/pipewire-alsa
                 $<TARGET_FILE:velmar_tests> --gtest_filter=PipeWireAlsa.*)
set_tests_properties(desktop.pipewire_alsa_stream PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime"
  SKIP_RETURN_CODE 77
  TIMEOUT 120)
