# Unpacks a Debian source package into TREE, with Debian's patches applied,
# once its upstream tarball ORIG has been found to be the one we pinned
# (SHA256). Debian's revision may move on; the upstream code may not.
#
#   cmake -DORIG=... -DSHA256=... -DDSC=... -DTREE=... -P unpack_debian_source.cmake
foreach(var ORIG SHA256 DSC TREE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "unpack_debian_source.cmake: ${var} is not set")
  endif()
endforeach()

file(SHA256 ${ORIG} actual)
if(NOT actual STREQUAL SHA256)
  message(FATAL_ERROR "${ORIG} is not the tarball this build was made for:\n"
                      "  SHA-256 ${actual}\n  expected ${SHA256}")
endif()
message(STATUS "${ORIG}: SHA-256 ${actual}, as pinned")

# dpkg-source will not unpack over an earlier tree, and checks the files
# against the checksums the .dsc lists.
file(REMOVE_RECURSE ${TREE})
execute_process(COMMAND dpkg-source --no-copy -x ${DSC} ${TREE} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "dpkg-source -x ${DSC} failed (${result})")
endif()
