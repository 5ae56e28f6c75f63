# Third-party libraries as imported targets with one name on both systems:
#   tavro::lua tavro::freetype tavro::ftgl tavro::png tavro::zlib tavro::glew
#   tavro::oscpack tavro::opengl, and on Linux also tavro::sndfile tavro::alsa
#   tavro::x11.
# Include conventions are Debian's on both: <lua.hpp>, <ft2build.h>,
# <FTGL/ftgl.h>, <png.h>, <zlib.h>, <GL/glew.h>, <osc/...>, <ip/...>.

function(tavro_imported_static name lib)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${lib})
endfunction()

if(WIN32)
  # Built from Debian's source packages by scripts/build-windows-deps.sh.
  set(TAVRO_WINDOWS_DEPS_DIR "" CACHE PATH "Prefix of the mingw-w64 static dependencies")
  if(NOT EXISTS "${TAVRO_WINDOWS_DEPS_DIR}/lib/liblua5.1.a")
    message(FATAL_ERROR "Windows dependencies not found in '${TAVRO_WINDOWS_DEPS_DIR}': "
                        "run scripts/build-windows-deps.sh and pass its prefix as TAVRO_WINDOWS_DEPS_DIR")
  endif()
  set(_inc ${TAVRO_WINDOWS_DEPS_DIR}/include)
  set(_lib ${TAVRO_WINDOWS_DEPS_DIR}/lib)

  tavro_imported_static(tavro::zlib ${_lib}/libz.a)
  target_include_directories(tavro::zlib INTERFACE ${_inc})

  tavro_imported_static(tavro::png ${_lib}/libpng16.a)
  target_include_directories(tavro::png INTERFACE ${_inc})
  target_link_libraries(tavro::png INTERFACE tavro::zlib)

  tavro_imported_static(tavro::freetype ${_lib}/libfreetype.a)
  target_include_directories(tavro::freetype INTERFACE ${_inc}/freetype2)
  target_link_libraries(tavro::freetype INTERFACE tavro::zlib)

  add_library(tavro::opengl INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tavro::opengl INTERFACE opengl32 glu32)

  tavro_imported_static(tavro::ftgl ${_lib}/libftgl.a)
  target_include_directories(tavro::ftgl INTERFACE ${_inc})
  target_compile_definitions(tavro::ftgl INTERFACE FTGL_LIBRARY_STATIC)
  target_link_libraries(tavro::ftgl INTERFACE tavro::freetype tavro::opengl)

  tavro_imported_static(tavro::glew ${_lib}/libglew32.a)
  target_include_directories(tavro::glew INTERFACE ${_inc})
  # Without GLEW_STATIC the headers ask for __imp_glewInit from a DLL.
  target_compile_definitions(tavro::glew INTERFACE GLEW_STATIC)
  target_link_libraries(tavro::glew INTERFACE tavro::opengl)

  tavro_imported_static(tavro::lua ${_lib}/liblua5.1.a)
  target_include_directories(tavro::lua INTERFACE ${_inc}/lua5.1)

  tavro_imported_static(tavro::oscpack ${_lib}/liboscpack.a)
  target_include_directories(tavro::oscpack INTERFACE ${_inc}/oscpack)
  target_link_libraries(tavro::oscpack INTERFACE ws2_32 winmm)
else()
  find_package(PkgConfig REQUIRED)

  find_package(ZLIB REQUIRED)
  add_library(tavro::zlib ALIAS ZLIB::ZLIB)
  find_package(PNG REQUIRED)
  add_library(tavro::png ALIAS PNG::PNG)
  find_package(Freetype REQUIRED)
  add_library(tavro::freetype ALIAS Freetype::Freetype)

  set(OpenGL_GL_PREFERENCE GLVND)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
  add_library(tavro::opengl INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tavro::opengl INTERFACE OpenGL::GL OpenGL::GLX OpenGL::GLU)

  find_path(TAVRO_FTGL_INCLUDE FTGL/ftgl.h PATH_SUFFIXES include REQUIRED)
  find_library(TAVRO_FTGL_LIBRARY ftgl REQUIRED)
  add_library(tavro::ftgl INTERFACE IMPORTED GLOBAL)
  target_include_directories(tavro::ftgl INTERFACE ${TAVRO_FTGL_INCLUDE})
  target_link_libraries(tavro::ftgl INTERFACE ${TAVRO_FTGL_LIBRARY} tavro::freetype tavro::opengl)

  find_package(GLEW REQUIRED)
  add_library(tavro::glew ALIAS GLEW::GLEW)

  pkg_check_modules(TAVRO_LUA REQUIRED IMPORTED_TARGET GLOBAL lua5.1)
  add_library(tavro::lua ALIAS PkgConfig::TAVRO_LUA)

  find_path(TAVRO_OSCPACK_INCLUDE osc/OscOutboundPacketStream.h PATH_SUFFIXES oscpack REQUIRED)
  find_library(TAVRO_OSCPACK_LIBRARY oscpack REQUIRED)
  add_library(tavro::oscpack INTERFACE IMPORTED GLOBAL)
  target_include_directories(tavro::oscpack INTERFACE ${TAVRO_OSCPACK_INCLUDE})
  target_link_libraries(tavro::oscpack INTERFACE ${TAVRO_OSCPACK_LIBRARY})

  pkg_check_modules(TAVRO_SNDFILE REQUIRED IMPORTED_TARGET GLOBAL sndfile)
  add_library(tavro::sndfile ALIAS PkgConfig::TAVRO_SNDFILE)
  pkg_check_modules(TAVRO_ALSA REQUIRED IMPORTED_TARGET GLOBAL alsa)
  add_library(tavro::alsa ALIAS PkgConfig::TAVRO_ALSA)
  find_package(X11 REQUIRED)
  add_library(tavro::x11 ALIAS X11::X11)
endif()

find_package(Threads REQUIRED)
