# The image probe: reads a disc image's table of contents with libcdio in a
# process of its own (see src/sources/ImageProbe.h). It links libcdio only. It
# is an internal helper, so it is installed out of the PATH, in
# libexec/velmar/; the program finds it there relative to its own folder, and
# beside itself in the build tree.
add_executable(velmar-probe
  ${CMAKE_SOURCE_DIR}/src/probe/main.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/ImageProbe.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/Cancellation.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/CdioToc.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/TocRules.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/CdioLog.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/RegularFile.cpp
  ${CMAKE_SOURCE_DIR}/src/sources/SystemError.cpp)
# The sources layer's headers only (see the layers in CMakeLists.txt).
target_include_directories(velmar-probe PRIVATE ${VELMAR_LAYER_ROOTS}/velmar_sources)
target_link_libraries(velmar-probe PRIVATE PkgConfig::CDIO)
set_target_properties(velmar-probe PROPERTIES AUTOMOC OFF AUTORCC OFF)
add_dependencies(velmar velmar-probe)

install(TARGETS velmar-probe RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/velmar)
# Only the file that looks the probe up gets the path, so changing it
# rebuilds that file alone.
file(RELATIVE_PATH VELMAR_PROBE_FROM_BINDIR ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBEXECDIR}/velmar)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/sources/ImageProbe.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS VELMAR_PROBE_FROM_BINDIR="${VELMAR_PROBE_FROM_BINDIR}")
