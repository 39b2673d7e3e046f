# The library as users link it (tessgrid_lib, alias tessgrid::tessgrid): static by default, shared
# with BUILD_SHARED_LIBS=ON (libtessgrid.so.<major>). Either way the objects are position-
# independent, so they also link into shared objects of other projects (the Python module), and
# built with hidden visibility: only what the public headers mark TESSGRID_EXPORT is visible in
# the shared library, never a tessgrid::detail name.
#
# tessgrid_internal is what this tree's own programs link (tessgrid, tessgrid-tool, the engine,
# the tests of internals, the Python module): they use tessgrid::detail, which a shared library
# hides, so with BUILD_SHARED_LIBS=ON it is a static archive of the same objects; otherwise it is
# the static library itself.
include(GenerateExportHeader)

add_library(tessgrid_objects OBJECT ${TESSGRID_SOURCES})
set_target_properties(tessgrid_objects PROPERTIES
  POSITION_INDEPENDENT_CODE ON CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
  CXX_EXTENSIONS OFF)
# No fused multiply-add contraction: results must not depend on the target's instruction set, and
# operations that share a formula (the least-squares sums) must agree to the bit.
target_compile_options(tessgrid_objects PRIVATE -ffp-contract=off)
target_compile_features(tessgrid_objects PUBLIC cxx_std_17)
target_include_directories(tessgrid_objects PUBLIC ${PROJECT_SOURCE_DIR}
                           ${PROJECT_BINARY_DIR}/include)
target_link_libraries(tessgrid_objects PRIVATE tessgrid_warnings)

# The grid reader parses large files on several threads.
find_package(Threads REQUIRED)

# Gives a library of the objects what its users need: the standard, the headers, the threads.
function(tessgrid_library_usage target)
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:tessgrid_objects>)
  target_compile_features(${target} PUBLIC cxx_std_17)
  target_link_libraries(${target} PUBLIC Threads::Threads)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tessgrid>)
endfunction()

add_library(tessgrid_lib)
add_library(tessgrid::tessgrid ALIAS tessgrid_lib)
get_target_property(TESSGRID_LIB_TYPE tessgrid_lib TYPE)
tessgrid_library_usage(tessgrid_lib)
set_target_properties(tessgrid_lib PROPERTIES OUTPUT_NAME tessgrid EXPORT_NAME tessgrid
                      VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
# Standard templates instantiated on internal types (a thread's lambda) take std's default
# visibility whatever the flags say; the version script keeps them local too.
if(TESSGRID_LIB_TYPE STREQUAL "SHARED_LIBRARY")
  target_link_options(tessgrid_lib PRIVATE
                      -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/tessgrid.map)
  set_property(TARGET tessgrid_lib APPEND PROPERTY LINK_DEPENDS
               ${PROJECT_SOURCE_DIR}/cmake/tessgrid.map)
endif()
# TESSGRID_EXPORT marks the public classes; on this platform it is the same for building the
# library and for using it, shared or static, so no define has to travel with the headers.
generate_export_header(tessgrid_lib BASE_NAME tessgrid
                       EXPORT_FILE_NAME ${PROJECT_BINARY_DIR}/include/tessgrid_export.h)

if(TESSGRID_LIB_TYPE STREQUAL "SHARED_LIBRARY")
  add_library(tessgrid_internal STATIC)
  tessgrid_library_usage(tessgrid_internal)
  set_target_properties(tessgrid_internal PROPERTIES POSITION_INDEPENDENT_CODE ON)
else()
  add_library(tessgrid_internal ALIAS tessgrid_lib)
endif()
