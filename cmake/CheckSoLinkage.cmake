# Users get one file on Linux too: tavro.so must load on a machine that has
# nothing but the system, and offer a host nothing but its entry points.
#
# cmake -DCHECK=needed -DREADELF=readelf -DSO=tavro.so
#       [-DSHARED_CXX_RUNTIME=ON] [-DSANITIZED=ON] -P CheckSoLinkage.cmake
#   Fails unless every library in the DT_NEEDED list is a system library.
# cmake -DCHECK=exports -DNM=nm -DSO=tavro.so -P CheckSoLinkage.cmake
#   Fails unless the dynamic symbol table defines exactly VSTPluginMain and
#   main.

# The C library, ALSA, and the X11 and GL libraries the editor will draw
# with: what every desktop that runs a VST host has.
set(allowed
  ld-linux-x86-64.so.2 libc.so.6 libm.so.6 libdl.so.2 libpthread.so.0 librt.so.1
  libasound.so.2 libX11.so.6 libGL.so.1 libGLX.so.0 libOpenGL.so.0)
# Builds for the sanitizers keep the C++ runtime shared (see the top-level
# CMakeLists.txt) and need the sanitizers' own runtimes.
if(SHARED_CXX_RUNTIME)
  list(APPEND allowed libstdc++.so.6 libgcc_s.so.1)
endif()
set(sanitizer_pattern "^lib(asan|ubsan|tsan|lsan)\\.so\\.[0-9]+$")

function(run_tool)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command} failed (${result}): ${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "needed")
  run_tool(${READELF} -d --wide ${SO})
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" lines "${out}")
  if(NOT lines)
    message(FATAL_ERROR "no NEEDED entries in ${SO}: not a shared object?")
  endif()
  set(needed)
  set(foreign)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE ".*\\[([^]]+)\\]$" "\\1" name "${line}")
    list(APPEND needed ${name})
    list(FIND allowed ${name} found)
    if(found EQUAL -1 AND NOT (SANITIZED AND name MATCHES "${sanitizer_pattern}"))
      list(APPEND foreign ${name})
    endif()
  endforeach()
  list(JOIN needed ", " needed_text)
  message(STATUS "${SO} needs: ${needed_text}")
  if(foreign)
    list(JOIN foreign ", " foreign_text)
    message(FATAL_ERROR "${SO} needs libraries that are not part of the system: ${foreign_text}")
  endif()
elseif(CHECK STREQUAL "exports")
  run_tool(${NM} -D --defined-only ${SO})
  string(REGEX MATCHALL "[^\n]+" lines "${out}")
  set(exported)
  foreach(line IN LISTS lines)
    # "ADDRESS TYPE NAME"; the version script's own node (TYPE A) is no
    # symbol a host can bind to.
    if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) (.+)$")
      if(NOT CMAKE_MATCH_1 STREQUAL "A")
        list(APPEND exported "${CMAKE_MATCH_2}")
      endif()
    endif()
  endforeach()
  list(SORT exported)
  list(JOIN exported ", " exported_text)
  message(STATUS "${SO} exports: ${exported_text}")
  if(NOT exported STREQUAL "VSTPluginMain;main")
    message(FATAL_ERROR "${SO} must export exactly VSTPluginMain and main, not: ${exported_text}")
  endif()
else()
  message(FATAL_ERROR "CHECK must be needed or exports")
endif()
