# Third-party libraries as imported targets with one name on both systems:
#   tavro::lua tavro::freetype tavro::ftgl tavro::png tavro::zlib tavro::glew
#   tavro::oscpack tavro::opengl, and on Linux also tavro::sndfile tavro::alsa
#   tavro::x11.
# Include conventions are Debian's on both: <lua.hpp>, <ft2build.h>,
# <FTGL/ftgl.h>, <png.h>, <zlib.h>, <GL/glew.h>, <osc/...>, <ip/...>.
#
# Lua, oscpack and the editor's libraries are static on both systems, built
# from Debian's source packages by scripts/build-deps.sh (position-independent
# with hidden symbols on Linux). The plug-in is one file that loads into any
# host: a host process often carries its own Lua, FreeType or libpng, and
# ours must never bind to its copies. The tools and tests link the same
# libraries, so what they test is what ships.

function(tavro_imported_static name lib)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${lib})
endfunction()

if(WIN32)
  set(_target windows)
else()
  set(_target linux)
endif()
set(TAVRO_DEPS_DIR "" CACHE PATH "Prefix of the static dependencies (scripts/build-deps.sh ${_target})")
if(NOT EXISTS "${TAVRO_DEPS_DIR}/lib/liblua5.1.a")
  message(FATAL_ERROR "Static dependencies not found in '${TAVRO_DEPS_DIR}': run "
                      "scripts/build-deps.sh ${_target} and pass the prefix it prints as TAVRO_DEPS_DIR")
endif()
set(_inc ${TAVRO_DEPS_DIR}/include)
set(_lib ${TAVRO_DEPS_DIR}/lib)

# What the static libraries need of the system.
if(WIN32)
  add_library(tavro::opengl INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tavro::opengl INTERFACE opengl32 glu32)
  set(_glew_lib libglew32.a)
  set(_libm)
  set(_socket_libs ws2_32 winmm)
else()
  set(OpenGL_GL_PREFERENCE GLVND)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
  add_library(tavro::opengl INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tavro::opengl INTERFACE OpenGL::GL OpenGL::GLX)
  set(_glew_lib libGLEW.a)
  set(_libm m)
  set(_socket_libs)
endif()

tavro_imported_static(tavro::zlib ${_lib}/libz.a)
target_include_directories(tavro::zlib INTERFACE ${_inc})

tavro_imported_static(tavro::png ${_lib}/libpng16.a)
target_include_directories(tavro::png INTERFACE ${_inc})
target_link_libraries(tavro::png INTERFACE tavro::zlib ${_libm})

tavro_imported_static(tavro::freetype ${_lib}/libfreetype.a)
target_include_directories(tavro::freetype INTERFACE ${_inc}/freetype2)
target_link_libraries(tavro::freetype INTERFACE tavro::zlib)

tavro_imported_static(tavro::ftgl ${_lib}/libftgl.a)
target_include_directories(tavro::ftgl INTERFACE ${_inc})
target_compile_definitions(tavro::ftgl INTERFACE FTGL_LIBRARY_STATIC)
target_link_libraries(tavro::ftgl INTERFACE tavro::freetype tavro::opengl)

tavro_imported_static(tavro::glew ${_lib}/${_glew_lib})
target_include_directories(tavro::glew INTERFACE ${_inc})
# Without GLEW_STATIC the Windows headers ask for __imp_glewInit from a DLL.
target_compile_definitions(tavro::glew INTERFACE GLEW_STATIC)
target_link_libraries(tavro::glew INTERFACE tavro::opengl)

tavro_imported_static(tavro::lua ${_lib}/liblua5.1.a)
target_include_directories(tavro::lua INTERFACE ${_inc}/lua5.1)
target_link_libraries(tavro::lua INTERFACE ${_libm})

tavro_imported_static(tavro::oscpack ${_lib}/liboscpack.a)
target_include_directories(tavro::oscpack INTERFACE ${_inc}/oscpack)
target_link_libraries(tavro::oscpack INTERFACE ${_socket_libs})

if(NOT WIN32)
  # The tools' and the platform layer's system libraries stay shared.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(TAVRO_SNDFILE REQUIRED IMPORTED_TARGET GLOBAL sndfile)
  add_library(tavro::sndfile ALIAS PkgConfig::TAVRO_SNDFILE)
  pkg_check_modules(TAVRO_ALSA REQUIRED IMPORTED_TARGET GLOBAL alsa)
  add_library(tavro::alsa ALIAS PkgConfig::TAVRO_ALSA)
  find_package(X11 REQUIRED)
  add_library(tavro::x11 ALIAS X11::X11)
endif()

find_package(Threads REQUIRED)
