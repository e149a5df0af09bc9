# The volume slider against the real ALSA mixer of the private server.
velmar_add_pulse_test(volume.pulse_master_volume "PulseVolume.*" 120)
