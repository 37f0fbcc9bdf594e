# Script mode: makes a delay-import library for one system DLL from mingw-w64's import library
# of it, so that the DLL is loaded at the first call of one of its functions instead of at start.
#
#   cmake -DNM=<nm> -DDLLTOOL=<dlltool> -DIMPORT_LIB=<libX.a> -DDLL=<x.dll> -DI686=<ON|OFF>
#         -DOUT=<libX_delay.a> -P delay_import.cmake
#
# The module definition lists every function the import library has (a thunk and an import
# address); dlltool turns it into a library whose calls go through the delay-load helper
# (__delayLoadHelper2 of libdelayimp). 32-bit names carry the stdcall decoration (_Name@8): the
# definition takes them without the leading underscore, and --kill-at imports them undecorated.
execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIB}
  OUTPUT_VARIABLE symbols ERROR_QUIET RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${IMPORT_LIB}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(thunks "")
set(imports "")
foreach(line ${lines})
  if(line MATCHES " T (.+)$")
    list(APPEND thunks "${CMAKE_MATCH_1}")
  elseif(line MATCHES " I __imp_(.+)$")
    list(APPEND imports "${CMAKE_MATCH_1}")
  endif()
endforeach()
set(def "LIBRARY ${DLL}\nEXPORTS\n")
set(count 0)
foreach(name ${imports})
  # Data exports have no thunk; they cannot be delay-loaded and are left out.
  list(FIND thunks "${name}" found)
  if(found EQUAL -1)
    continue()
  endif()
  if(I686)
    string(REGEX REPLACE "^_" "" name "${name}")
  endif()
  string(APPEND def "${name}\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "${IMPORT_LIB} exports no function")
endif()
get_filename_component(out_dir ${OUT} DIRECTORY)
get_filename_component(out_name ${OUT} NAME_WE)
file(WRITE ${out_dir}/${out_name}.def "${def}")
set(kill_at "")
if(I686)
  set(kill_at --kill-at)
endif()
execute_process(COMMAND ${DLLTOOL} ${kill_at} --input-def ${out_dir}/${out_name}.def
  --dllname ${DLL} --output-delaylib ${OUT} RESULT_VARIABLE dlltool_result)
if(NOT dlltool_result EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} could not make ${OUT}")
endif()
