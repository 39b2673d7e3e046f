# Install rules: headers under include/tessgrid/<layer>, the library (static, or shared with
# BUILD_SHARED_LIBS=ON), a CMake package (find_package(tessgrid) -> tessgrid::tessgrid), a
# pkg-config file, and the README, the guides and the LICENSE under share/doc/tessgrid.
include(CMakePackageConfigHelpers)

# Only the public headers are installed; the internals (namespace tessgrid::detail) stay in the
# source tree, and no public header includes one of them. The umbrella header and the
# conveniences sit at the include root, beside the version header.
set(TESSGRID_PUBLIC_HEADERS
    model/TPoint.h model/TAxis.h model/TAxisTools.h model/TMap.h io/TARCGISFileTools.h
    io/TPrjFileTools.h ops/TMapTools.h util/TVectorTools.h util/TStringTools.h
    util/TPointTools.h tessgrid.h tessgrid_owning.h tessgrid_message.h)
foreach(header IN LISTS TESSGRID_PUBLIC_HEADERS)
  get_filename_component(layer ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tessgrid/${layer})
endforeach()

install(FILES ${PROJECT_BINARY_DIR}/include/tessgrid_version.h
              ${PROJECT_BINARY_DIR}/include/tessgrid_export.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tessgrid)

# The README introduces tessgrid and the guides describe the library and the Python module; the
# manual pages point at them.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
              ${PROJECT_SOURCE_DIR}/docs/library.md ${PROJECT_SOURCE_DIR}/docs/python.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(TARGETS tessgrid_lib EXPORT tessgridTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development)
if(TARGET tessgrid)
  install(TARGETS tessgrid RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/tessgrid.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET tessgrid-tool)
  install(TARGETS tessgrid-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/tessgrid-tool.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
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
