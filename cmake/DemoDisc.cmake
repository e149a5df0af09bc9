# The disc-image generator and the demo disc it writes into the build tree.
add_library(velmar_discgen STATIC ${CMAKE_SOURCE_DIR}/tools/DiscImageWriter.cpp
                                  ${CMAKE_SOURCE_DIR}/tools/DiscImageWriter.h)
target_include_directories(velmar_discgen PUBLIC ${CMAKE_SOURCE_DIR}/tools)

add_executable(velmar-mkdisc ${CMAKE_SOURCE_DIR}/tools/velmar-mkdisc.cpp)
set_target_properties(velmar_discgen velmar-mkdisc PROPERTIES AUTOMOC OFF AUTORCC OFF)
target_link_libraries(velmar-mkdisc PRIVATE velmar_discgen)

set(VELMAR_DEMO_CUE ${CMAKE_BINARY_DIR}/demo/velmar-demo.cue)
add_custom_command(
  OUTPUT ${VELMAR_DEMO_CUE} ${CMAKE_BINARY_DIR}/demo/velmar-demo.bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/demo
  COMMAND velmar-mkdisc --demo ${VELMAR_DEMO_CUE}
  DEPENDS velmar-mkdisc
  COMMENT "Writing the demo disc"
  VERBATIM)
add_custom_target(velmar_demo_disc ALL DEPENDS ${VELMAR_DEMO_CUE})
