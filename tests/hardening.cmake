# The program against a sound server that stalls and restarts, and against
# signals, with the private server of tests/support/with-pulse.sh.
velmar_add_pulse_test(hardening.pulse_stall "PulseStall.*" 300)
velmar_add_pulse_test(hardening.signals "PulseSignals.*" 180)
