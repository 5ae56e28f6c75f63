# cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DDLL=tavro.dll -P CheckDllImports.cmake
# Fails unless every DLL the module imports ships with Windows.
set(allowed
  kernel32.dll msvcrt.dll user32.dll gdi32.dll winmm.dll ws2_32.dll opengl32.dll
  glu32.dll shell32.dll advapi32.dll comdlg32.dll ole32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${DLL}
                OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed (${result}): ${dump_error}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imports found in ${DLL}: not a PE module?")
endif()

set(imports)
set(foreign)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: *" "" name "${line}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" lower)
  list(APPEND imports ${name})
  list(FIND allowed ${lower} found)
  if(found EQUAL -1 AND NOT lower MATCHES "^api-ms-win-.*\\.dll$")
    list(APPEND foreign ${name})
  endif()
endforeach()

list(JOIN imports ", " imports_text)
message(STATUS "${DLL} imports: ${imports_text}")
if(foreign)
  list(JOIN foreign ", " foreign_text)
  message(FATAL_ERROR "${DLL} imports DLLs that do not come with Windows: ${foreign_text}")
endif()
