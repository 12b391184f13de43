# Run by CPack once the package's files are staged, before the DEB generator
# writes the control file (CPACK_PRE_BUILD_SCRIPTS): adds to the Depends
# field what dpkg-shlibdeps finds that the package's programs and libraries
# need. Libraries inside the package are found through their $ORIGIN run
# paths and add nothing.
set(root "${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB_RECURSE files LIST_DIRECTORIES false "${root}/usr/*")
set(elf_files)
foreach(file IN LISTS files)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    list(APPEND elf_files "${file}")
  endif()
endforeach()
if(NOT elf_files)
  message(FATAL_ERROR "cpack_depends: no program or library staged in ${root}")
endif()

# dpkg-shlibdeps wants to run in a source package: an empty debian/control,
# and a DEBIAN folder that marks the staged tree as the package's files.
file(WRITE "${root}/debian/control" "")
file(MAKE_DIRECTORY "${root}/DEBIAN")
execute_process(COMMAND dpkg-shlibdeps -O ${elf_files}
                WORKING_DIRECTORY "${root}"
                OUTPUT_VARIABLE found ERROR_VARIABLE complaints RESULT_VARIABLE status)
file(REMOVE_RECURSE "${root}/debian" "${root}/DEBIAN")
if(NOT status EQUAL 0 OR NOT found MATCHES "shlibs:Depends=([^\n]*)")
  message(FATAL_ERROR "cpack_depends: dpkg-shlibdeps failed: ${complaints}")
endif()
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${CMAKE_MATCH_1}")
