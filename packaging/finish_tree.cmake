# Run at install time, after the package's tree is in place (packaging/
# CMakeLists.txt sets PIXBRIDGE_TREE, PIXBRIDGE_STRIP, PIXBRIDGE_PATCHELF and
# PIXBRIDGE_BUNDLED_DECODERS).
#
# 1. Strips every program and library of the tree as Debian's dh_strip does:
#    the package carries no symbols (a debugger can use the build tree's).
# 2. Gives the bundled libheif its own soname and relinks the codec's helper
#    and the decoder plug-ins to it, the plug-ins finding it one folder up.
#    After stripping: strip may garble what patchelf has moved.

file(GLOB_RECURSE files LIST_DIRECTORIES false "${PIXBRIDGE_TREE}/*")
foreach(file IN LISTS files)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  if(file MATCHES "\\.so(\\.[0-9]+)*$")
    set(how --strip-unneeded)
  else()
    set(how --strip-all)
  endif()
  execute_process(COMMAND "${PIXBRIDGE_STRIP}" ${how} --remove-section=.comment --remove-section=.note "${file}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

if(PIXBRIDGE_BUNDLED_DECODERS)
  set(private_libheif "libheif-pixbridge.so.1")
  execute_process(COMMAND "${PIXBRIDGE_PATCHELF}" --set-soname ${private_libheif} "${PIXBRIDGE_TREE}/${private_libheif}"
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND "${PIXBRIDGE_PATCHELF}" --replace-needed libheif.so.1 ${private_libheif}
                          "${PIXBRIDGE_TREE}/pixbridge-heif-worker" COMMAND_ERROR_IS_FATAL ANY)
  # One change per call: patchelf 0.14 garbles the string table when one
  # call both renames a needed library and sets the run path.
  foreach(plugin IN LISTS PIXBRIDGE_BUNDLED_DECODERS)
    execute_process(COMMAND "${PIXBRIDGE_PATCHELF}" --set-rpath "\$ORIGIN/.." "${PIXBRIDGE_TREE}/heif-plugins/${plugin}"
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND "${PIXBRIDGE_PATCHELF}" --replace-needed libheif.so.1 ${private_libheif}
                            "${PIXBRIDGE_TREE}/heif-plugins/${plugin}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endif()
