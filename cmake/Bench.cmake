# Benchmark helpers (bench/velmar-bench.sh): a preloadable shim that timestamps
# the audio a player hands to ALSA, and a probe that seeks the real device.
add_library(velmar_alsa_timing MODULE ${CMAKE_SOURCE_DIR}/bench/alsa-timing-shim.cpp)
target_link_libraries(velmar_alsa_timing PRIVATE ALSA::ALSA ${CMAKE_DL_LIBS})
set_target_properties(velmar_alsa_timing PROPERTIES AUTOMOC OFF PREFIX "")

add_executable(velmar-seek-probe ${CMAKE_SOURCE_DIR}/bench/velmar-seek-probe.cpp)
target_link_libraries(velmar-seek-probe PRIVATE velmar_core)

# What reading a rip (cue sheet and audio files) costs: bench/velmar-rip-bench.cpp.
add_executable(velmar-rip-bench ${CMAKE_SOURCE_DIR}/bench/velmar-rip-bench.cpp)
target_link_libraries(velmar-rip-bench PRIVATE velmar_core velmar_discgen)

# How long opening a 99-track cue sheet or cdrdao TOC takes: bench/velmar-open-bench.cpp.
add_executable(velmar-open-bench ${CMAKE_SOURCE_DIR}/bench/velmar-open-bench.cpp)
target_link_libraries(velmar-open-bench PRIVATE velmar_core)
