# The parts of tessgrid that need a package from outside. Each has a cache entry AUTO, ON or OFF:
# AUTO builds the part when its package is found and otherwise skips it with one line saying what
# is missing and which Debian package brings it; ON makes the package required; OFF skips the
# part. tessgrid and the library need nothing of the kind.

# tessgrid_optional_part(<VAR> <part> <default> <package> <debian-package> [find_package args...])
# Declares <VAR> and sets <VAR>_ENABLED to whether the part is built; <part> names it in the
# lines printed.
function(tessgrid_optional_part var part default package debian)
  set(${var} ${default} CACHE STRING "Build ${part}: AUTO (when ${package} is found), ON or OFF")
  set_property(CACHE ${var} PROPERTY STRINGS AUTO ON OFF)
  string(TOUPPER "${${var}}" mode)
  set(enabled OFF)
  if(mode STREQUAL "AUTO" OR mode)
    find_package(${package} ${ARGN} QUIET)
    if(${package}_FOUND)
      set(enabled ON)
    elseif(mode STREQUAL "AUTO")
      message(STATUS "${part}: skipped, ${package} not found (Debian package ${debian})")
    else()
      message(FATAL_ERROR "${part} was asked for (${var}=${${var}}) but ${package} was not "
                          "found; install the Debian package ${debian} or set ${var}=AUTO")
    endif()
  endif()
  set(${var}_ENABLED ${enabled} PARENT_SCOPE)
  tessgrid_note_part(${part} ${enabled})
endfunction()

# Records whether a part is built, for the summary.
function(tessgrid_note_part part enabled)
  set_property(GLOBAL APPEND PROPERTY TESSGRID_PARTS "${part}=${enabled}")
endfunction()

# Prints the one-line summary of what is built.
function(tessgrid_print_parts)
  get_property(parts GLOBAL PROPERTY TESSGRID_PARTS)
  set(on "")
  set(off "")
  foreach(entry IN LISTS parts)
    string(REGEX REPLACE "=.*" "" part "${entry}")
    if(entry MATCHES "=ON$")
      list(APPEND on "${part}")
    else()
      list(APPEND off "${part}")
    endif()
  endforeach()
  list(JOIN on ", " on)
  list(JOIN off ", " off)
  if(off STREQUAL "")
    set(off "none")
  endif()
  message(STATUS "tessgrid ${PROJECT_VERSION}: tessgrid and the library; on: ${on}; off: ${off}")
endfunction()
