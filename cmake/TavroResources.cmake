# Built-in resources (Lua scripts, images, dialog data) linked into a final
# target under numeric (type, id) pairs:
#   tavro_add_resources(target 256 136 path/to/midi.lua 257 200 path/to/buttons.png)
# Windows: a generated .rc compiled into the module, read back with
# FindResource on the module's handle.
# Linux: a generated C++ table named tavro_builtin_resources, which the
# platform layer finds through a weak reference.
function(tavro_add_resources target)
  set(items ${ARGN})
  list(LENGTH items n)
  math(EXPR rem "${n} % 3")
  if(NOT rem EQUAL 0)
    message(FATAL_ERROR "tavro_add_resources: expected triples of type, id, path")
  endif()
  set(gen_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  file(MAKE_DIRECTORY ${gen_dir})
  set(depends)
  if(WIN32)
    set(rc "")
    while(items)
      list(POP_FRONT items type id path)
      get_filename_component(path ${path} ABSOLUTE)
      string(APPEND rc "${id} ${type} \"${path}\"\n")
      list(APPEND depends ${path})
    endwhile()
    file(WRITE ${gen_dir}/resources.rc.in "${rc}")
    configure_file(${gen_dir}/resources.rc.in ${gen_dir}/resources.rc COPYONLY)
    target_sources(${target} PRIVATE ${gen_dir}/resources.rc)
    set_source_files_properties(${gen_dir}/resources.rc PROPERTIES OBJECT_DEPENDS "${depends}")
  else()
    set(args)
    while(items)
      list(POP_FRONT items type id path)
      get_filename_component(path ${path} ABSOLUTE)
      list(APPEND args ${type} ${id} ${path})
      list(APPEND depends ${path})
    endwhile()
    add_custom_command(
      OUTPUT ${gen_dir}/resources.cpp
      COMMAND ${CMAKE_COMMAND} -DOUT=${gen_dir}/resources.cpp "-DITEMS=${args}"
              -P ${TAVRO_CMAKE_DIR}/TavroEmbed.cmake
      DEPENDS ${depends} ${TAVRO_CMAKE_DIR}/TavroEmbed.cmake
      COMMENT "Embedding built-in resources of ${target}"
      VERBATIM)
    target_sources(${target} PRIVATE ${gen_dir}/resources.cpp)
  endif()
endfunction()
set(TAVRO_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")

# The fonts the plug-in carries, so that its editor has text on a system
# with none of the fonts its lists name: DejaVu Sans and DejaVu Sans Mono,
# whose license lets them travel inside a program, taken from the build
# machine's fonts-dejavu-core (never kept in the repository) and kept
# gzip-compressed (half the size; the editor inflates one when it needs it).
# Type 258, ids 300 and 301, as platform/BuiltinResources.h names them:
#   tavro_add_resources(target ... ${TAVRO_BUILTIN_FONTS})
find_file(TAVRO_DEJAVU_SANS DejaVuSans.ttf
          PATHS /usr/share/fonts/truetype/dejavu /usr/share/fonts/TTF /usr/share/fonts/dejavu
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_file(TAVRO_DEJAVU_SANS_MONO DejaVuSansMono.ttf
          PATHS /usr/share/fonts/truetype/dejavu /usr/share/fonts/TTF /usr/share/fonts/dejavu
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TAVRO_DEJAVU_SANS OR NOT TAVRO_DEJAVU_SANS_MONO)
  message(FATAL_ERROR "DejaVuSans.ttf and DejaVuSansMono.ttf were not found: the plug-in "
                      "carries them. Install fonts-dejavu-core (scripts/setup.sh does).")
endif()
set(TAVRO_BUILTIN_FONTS)
foreach(_pair "300;${TAVRO_DEJAVU_SANS}" "301;${TAVRO_DEJAVU_SANS_MONO}")
  list(GET _pair 0 _id)
  list(GET _pair 1 _font)
  get_filename_component(_name ${_font} NAME)
  set(_packed ${CMAKE_BINARY_DIR}/builtin-fonts/${_name}.gz)
  # Made again when the package brings a new file.
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_font})
  if(NOT EXISTS ${_packed} OR ${_font} IS_NEWER_THAN ${_packed})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/builtin-fonts)
    file(ARCHIVE_CREATE OUTPUT ${_packed} PATHS ${_font} FORMAT raw COMPRESSION GZip
         COMPRESSION_LEVEL 9)
  endif()
  list(APPEND TAVRO_BUILTIN_FONTS 258 ${_id} ${_packed})
endforeach()

# The editor's dialog templates (resources/dialogs/dialogs.rc), for a final
# target whose editor shows them: Windows builds its dialogs from these
# resources; the Linux editor lays its panels out from the same templates
# compiled into gui/, so there is nothing to add there.
function(tavro_add_dialogs target)
  if(WIN32)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/resources/dialogs/dialogs.rc)
  endif()
endfunction()
