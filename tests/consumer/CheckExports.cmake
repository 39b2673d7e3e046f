# Checks the dynamic interface of the shared library LIBRARY: its SONAME is SONAME, the public
# classes are there, and no tessgrid::detail name is.
function(run out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE text)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Failed (${rc}): ${ARGN}\n${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

run(dynamic readelf -d ${LIBRARY})
if(NOT dynamic MATCHES "Library soname: \\[${SONAME}\\]")
  message(FATAL_ERROR "${LIBRARY} does not carry the SONAME ${SONAME}")
endif()

run(symbols nm -D -C --defined-only ${LIBRARY})
string(REGEX MATCHALL "[^\n]*tessgrid::detail[^\n]*" leaked "${symbols}")
list(LENGTH leaked count)
if(count GREATER 0)
  list(GET leaked 0 first)
  message(FATAL_ERROR "${count} tessgrid::detail symbols are exported, the first: ${first}")
endif()
foreach(public IN ITEMS "TMapTools::Add(TMap const*, TMap const*)"
                        "TARCGISFileTools::LoadARCGISFile" "TMap::GetIndex" "TAxis::GetIndex"
                        "TPrjFileTools::LoadPrjFile" "TVectorTools::" "TStringTools::"
                        "TPointTools::" "TAxisTools::" "TMapPoint::")
  string(FIND "${symbols}" "${public}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${public} is not exported")
  endif()
endforeach()
