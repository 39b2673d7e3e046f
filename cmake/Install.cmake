# Install rules: headers under include/tessgrid/<layer>, the static library, a CMake package
# (find_package(tessgrid) -> tessgrid::tessgrid) and a pkg-config file.
include(CMakePackageConfigHelpers)

foreach(layer model io ops util)
  file(GLOB layer_headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${layer}/*.h)
  install(FILES ${layer_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tessgrid/${layer})
endforeach()

install(TARGETS tessgrid_lib EXPORT tessgridTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET tessgrid)
  install(TARGETS tessgrid RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(TESSGRID_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tessgrid)
install(EXPORT tessgridTargets NAMESPACE tessgrid:: DESTINATION ${TESSGRID_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/tessgridConfig.cmake.in
  ${PROJECT_BINARY_DIR}/tessgridConfig.cmake INSTALL_DESTINATION ${TESSGRID_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tessgridConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tessgridConfig.cmake
              ${PROJECT_BINARY_DIR}/tessgridConfigVersion.cmake
        DESTINATION ${TESSGRID_CMAKE_DIR})

# The prefix is found relative to the .pc file, so an installed tree can be moved.
file(RELATIVE_PATH TESSGRID_PC_UP "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tessgrid.pc.in ${PROJECT_BINARY_DIR}/tessgrid.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tessgrid.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
