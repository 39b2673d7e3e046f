# Installs the built tree into a scratch prefix, then configures, builds and runs a small outside
# project against it, once through find_package and once through add_subdirectory.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Failed (${rc}): ${ARGN}\n${out}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${prefix} --config ${BUILD_TYPE})
# The manual pages send their readers to the installed README and library guide; the license
# travels with the code.
foreach(doc README.md library.md LICENSE)
  if(NOT EXISTS ${prefix}/share/doc/tessgrid/${doc})
    message(FATAL_ERROR "${doc} is not installed under share/doc/tessgrid")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/package
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=${BUILD_TYPE})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/package)
run(${WORK_DIR}/package/consumer)

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/subdir
    -DTESSGRID_SOURCE=${SOURCE_DIR} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    -DBUILD_SHARED_LIBS=${SHARED})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/subdir)
run(${WORK_DIR}/subdir/consumer)

# The pkg-config file serves a build without CMake.
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs tessgrid OUTPUT_VARIABLE flags
                  RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know tessgrid")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  # The flags leave the language standard to the caller: a C++20 program stays C++20. The public
  # headers give such a caller no warning either. The run path finds a shared library in the
  # scratch prefix, as the system's folders would find an installed one.
  run(c++ -std=c++20 -Wall -Wextra -Wpedantic -Werror ${SOURCE_DIR}/tests/consumer/consumer.cpp
      ${flags} -Wl,-rpath,${prefix}/lib -o ${WORK_DIR}/pkgconfig-consumer)
  run(${WORK_DIR}/pkgconfig-consumer)
endif()
