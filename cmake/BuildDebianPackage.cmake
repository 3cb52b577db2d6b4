# Wraps the install tree in a Debian package. Run by the velmora-package
# target as: cmake -DBUILD_DIR= -DSTAGING= -DCONTROL= -DOUTPUT= -P this file.
# The tree is laid out afresh each time, so files dropped from the install
# rules never linger in the package.
foreach(variable BUILD_DIR STAGING CONTROL OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "BuildDebianPackage.cmake needs -D${variable}=")
  endif()
endforeach()

file(REMOVE_RECURSE ${STAGING})
file(MAKE_DIRECTORY ${STAGING}/DEBIAN)
# Stripped, as packages ship; the dynamic symbol table stays.
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGING} --strip
                RESULT_VARIABLE result OUTPUT_QUIET)
if(result)
  message(FATAL_ERROR "cannot install into ${STAGING}")
endif()
file(COPY_FILE ${CONTROL} ${STAGING}/DEBIAN/control)

# The md5sums dpkg keeps for the package once installed, written here too
# beside the package: a device's files are checked against the build's by
# comparing the two, without opening the package on every run.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${STAGING} ${STAGING}/*)
list(FILTER files EXCLUDE REGEX "^DEBIAN/")
list(SORT files)
set(md5sums "")
foreach(file IN LISTS files)
  if(NOT IS_SYMLINK ${STAGING}/${file})
    file(MD5 ${STAGING}/${file} sum)
    string(APPEND md5sums "${sum}  ${file}\n")
  endif()
endforeach()
file(WRITE ${STAGING}/DEBIAN/md5sums "${md5sums}")
# dpkg-deb takes modes from the tree; the root and control folder come from
# mkdir and so from the umask.
file(CHMOD ${STAGING} ${STAGING}/DEBIAN PERMISSIONS
     OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(CHMOD ${STAGING}/DEBIAN/control ${STAGING}/DEBIAN/md5sums PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

execute_process(COMMAND dpkg-deb --root-owner-group --build ${STAGING} ${OUTPUT}.partial
                RESULT_VARIABLE result OUTPUT_QUIET)
if(result)
  file(REMOVE ${OUTPUT}.partial)
  message(FATAL_ERROR "dpkg-deb could not build ${OUTPUT}")
endif()
string(REGEX REPLACE "\\.deb$" ".md5sums" md5sums_file ${OUTPUT})
file(WRITE ${md5sums_file} "${md5sums}")
file(RENAME ${OUTPUT}.partial ${OUTPUT})
