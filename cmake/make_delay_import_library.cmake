# Makes a delay-load import library for one system DLL: every function the
# system's import library IMPORT_LIBRARY names, for the DLL DLL, written to
# OUTPUT by DLLTOOL. Run with cmake -P; NM lists the import library.
foreach(variable NM DLLTOOL IMPORT_LIBRARY DLL OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIBRARY}
                OUTPUT_VARIABLE symbols ERROR_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} could not list ${IMPORT_LIBRARY}")
endif()
# Each function has its import pointer, "__imp_<name>".
string(REGEX MATCHALL "__imp_[A-Za-z0-9_@?$]+" pointers "${symbols}")
list(TRANSFORM pointers REPLACE "^__imp_" "")
list(REMOVE_DUPLICATES pointers)
list(SORT pointers)
if(NOT pointers)
  message(FATAL_ERROR "${IMPORT_LIBRARY} names no functions")
endif()
list(JOIN pointers "\n  " exports)
set(definition "${OUTPUT}.def")
file(WRITE ${definition} "LIBRARY ${DLL}\nEXPORTS\n  ${exports}\n")
execute_process(COMMAND ${DLLTOOL} --output-delaylib ${OUTPUT}
                        --def ${definition} --dllname ${DLL}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} could not make ${OUTPUT}")
endif()
