# Helpers that give every target of the project the same build settings:
# hidden symbols, no undefined symbols in shared objects, an $ORIGIN run path,
# and an output folder inside the runnable tree.
#
# The runnable tree is built with the run paths it is installed with, only
# relative ones ($ORIGIN, and from a plug-in's folder the way back to the
# program's): CMake would otherwise add the build folder itself, and a
# packaged program would then search a folder that another user may own for
# Qt and every other library before the system's folders.

# The runnable tree: the program at its root, libraries beside it, plug-ins
# under Plugins/<module>/<version>/.
set(PIXBRIDGE_APP_DIR "${CMAKE_BINARY_DIR}/app")
set(PIXBRIDGE_PLUGINS_DIR "${PIXBRIDGE_APP_DIR}/Plugins")
file(MAKE_DIRECTORY "${PIXBRIDGE_APP_DIR}")

set(PIXBRIDGE_LSAN_SUPPRESSIONS "${CMAKE_CURRENT_LIST_DIR}/lsan.supp")

set(PIXBRIDGE_WARNINGS -Wall -Wextra -Wno-unused-parameter)

if(PIXBRIDGE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

function(_pixbridge_common target)
  target_compile_options(${target} PRIVATE ${PIXBRIDGE_WARNINGS})
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()

function(_pixbridge_no_undefined target)
  # Sanitizer runtimes resolve their symbols at load time, so --no-undefined
  # would refuse every sanitized shared object.
  if(NOT PIXBRIDGE_SANITIZE)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# pixbridge_add_library(<name> <sources...>): a shared library placed beside
# the program. <NAME>_BUILDING is defined while it builds, so its export macro
# marks the entry points as default visibility and hides everything else.
function(pixbridge_add_library name)
  add_library(${name} SHARED ${ARGN})
  _pixbridge_common(${name})
  _pixbridge_no_undefined(${name})
  string(TOUPPER "${name}" upper)
  string(MAKE_C_IDENTIFIER "${upper}" upper)
  target_compile_definitions(${name} PRIVATE ${upper}_BUILDING)
  set_target_properties(${name} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY "${PIXBRIDGE_APP_DIR}"
    BUILD_WITH_INSTALL_RPATH ON
    INSTALL_RPATH "$ORIGIN")
endfunction()

# pixbridge_add_static(<name> <sources...>): an internal static library.
function(pixbridge_add_static name)
  add_library(${name} STATIC ${ARGN})
  _pixbridge_common(${name})
endfunction()

# pixbridge_add_program(<name> <sources...>): a program at the root of the tree.
function(pixbridge_add_program name)
  add_executable(${name} ${ARGN})
  _pixbridge_common(${name})
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${PIXBRIDGE_APP_DIR}"
    BUILD_WITH_INSTALL_RPATH ON
    INSTALL_RPATH "$ORIGIN"
    ENABLE_EXPORTS OFF)
endfunction()

# pixbridge_add_plugin(<name> VERSION <v> SOURCES <...> [DESCRIPTOR <file>]
#                      [DATA <folder>...] [OUTPUT_DIR <dir>]): a plug-in module,
# built as a MODULE so nothing can link against it, into
# Plugins/<name>/<version>/ with a run path that reaches both its own folder
# and the libraries at the root of the tree.
#   DESCRIPTOR  the module's "plugin.load" template, configured into the
#               version folder with @PLUGIN_LIBRARY@ (the library's file name)
#               and @PLUGIN_VERSION@.
#   DATA        folders copied, each under its own name, into the version
#               folder (a module's Resources/). Copied at build time, so an
#               edited file reaches the runnable tree without a new configure.
# The package installs the runnable tree as it is (packaging/).
function(pixbridge_add_plugin name)
  cmake_parse_arguments(ARG "" "VERSION;OUTPUT_DIR;DESCRIPTOR" "SOURCES;DATA" ${ARGN})
  if(NOT ARG_OUTPUT_DIR)
    set(ARG_OUTPUT_DIR "${PIXBRIDGE_PLUGINS_DIR}/${name}/${ARG_VERSION}")
  endif()
  add_library(${name} MODULE ${ARG_SOURCES})
  _pixbridge_common(${name})
  _pixbridge_no_undefined(${name})
  file(RELATIVE_PATH to_root "${ARG_OUTPUT_DIR}" "${PIXBRIDGE_APP_DIR}")
  set_target_properties(${name} PROPERTIES
    PREFIX "lib"
    LIBRARY_OUTPUT_DIRECTORY "${ARG_OUTPUT_DIR}"
    BUILD_WITH_INSTALL_RPATH ON
    INSTALL_RPATH "$ORIGIN;$ORIGIN/${to_root}")

  if(ARG_DESCRIPTOR)
    set(PLUGIN_LIBRARY "lib${name}${CMAKE_SHARED_MODULE_SUFFIX}")
    set(PLUGIN_VERSION "${ARG_VERSION}")
    configure_file("${ARG_DESCRIPTOR}" "${ARG_OUTPUT_DIR}/plugin.load" @ONLY)
  endif()

  set(copies)
  foreach(folder ${ARG_DATA})
    get_filename_component(folder "${folder}" ABSOLUTE)
    get_filename_component(folder_name "${folder}" NAME)
    file(GLOB_RECURSE files CONFIGURE_DEPENDS RELATIVE "${folder}" "${folder}/*")
    foreach(file ${files})
      set(out "${ARG_OUTPUT_DIR}/${folder_name}/${file}")
      add_custom_command(OUTPUT "${out}"
        COMMAND ${CMAKE_COMMAND} -E copy_if_different "${folder}/${file}" "${out}"
        DEPENDS "${folder}/${file}"
        VERBATIM)
      list(APPEND copies "${out}")
    endforeach()
  endforeach()
  if(copies)
    add_custom_target(${name}.data DEPENDS ${copies})
    add_dependencies(${name} ${name}.data)
  endif()
endfunction()

# pixbridge_add_test(<name> SOURCES <...> LIBS <...> [ENV <...>]): one GoogleTest
# program per component, registered with ctest. Thumbnails the tests make
# are cached in the build tree, never in the user's own cache.
function(pixbridge_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;ENV;DEFS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${PIXBRIDGE_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    PIXBRIDGE_PHOTOS_DIR="${PIXBRIDGE_PHOTOS_DIR}"
    PIXBRIDGE_APP_DIR="${PIXBRIDGE_APP_DIR}"
    ${ARG_DEFS})
  set_target_properties(${name} PROPERTIES BUILD_RPATH "${PIXBRIDGE_APP_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  # The environment goes in front of the test program through env(1):
  # gtest_discover_tests flattens a list-valued ENVIRONMENT property, so every
  # variable after the first would be lost on the way.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
    "/usr/bin/env;QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${PIXBRIDGE_LSAN_SUPPRESSIONS};XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/test-cache;${ARG_ENV}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()
