# The image probe: reads a disc image's table of contents with libcdio in a
# process of its own (see src/sources/ImageProbe.h). It links libcdio only and
# is installed beside the program, which looks for it in its own folder.
add_executable(velmar-probe
  ${CMAKE_SOURCE_DIR}/src/probe/main.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/ImageProbe.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/Cancellation.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/CdioToc.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/TocRules.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/CdioLog.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/SystemError.cpp)
target_include_directories(velmar-probe PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(velmar-probe PRIVATE PkgConfig::CDIO)
set_target_properties(velmar-probe PROPERTIES AUTOMOC OFF AUTORCC OFF)
add_dependencies(velmar velmar-probe)
install(TARGETS velmar-probe RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
