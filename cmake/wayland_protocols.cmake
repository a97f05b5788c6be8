# The Wayland protocols the Linux layer speaks beyond the core protocol,
# as client code made by wayland-scanner:
#  - wlr-screencopy-unstable-v1 and virtual-keyboard-unstable-v1, whose XML
#    no binary package of Debian ships: taken from Debian's source package
#    of wlroots;
#  - ext-image-capture-source-v1 and ext-image-copy-capture-v1 (with
#    ext-foreign-toplevel-list-v1, whose interface the capture source's
#    code refers to), which came with wayland-protocols 1.37: taken from
#    the source package of trixie's wayland-protocols, Debian 12's being
#    1.31;
#  - xdg-output-unstable-v1 from Debian 12's wayland-protocols package.
# tools/deps.sh fetches both source packages into the cache; their
# upstream tarballs are pinned by hash like libjpeg-turbo's.
#
# Defines the library snapwick_wayland_protocols (the generated code and
# its headers: "wlr-screencopy-unstable-v1-client-protocol.h" and so on).
# The headers land outside any src/ folder, so that the naming check of our
# sources leaves the generated names alone.
include_guard(GLOBAL)

set(_default_cache ${CMAKE_SOURCE_DIR}/.cache/debian-src)
if(DEFINED ENV{SNAPWICK_DEPS_CACHE})
  set(_default_cache $ENV{SNAPWICK_DEPS_CACHE})
endif()
set(SNAPWICK_DEPS_CACHE ${_default_cache} CACHE PATH
    "Where tools/deps.sh keeps the Debian source packages that the build takes code from")

set(_xml_dir ${CMAKE_BINARY_DIR}/wayland-protocols/xml)
file(MAKE_DIRECTORY ${_xml_dir})

# _snapwick_protocols_from(PACKAGE RELEASE VERSION SHA256 MEMBER...): each
# MEMBER (a path inside the upstream tarball, below its top folder) copied
# to ${_xml_dir} under its file name, once the tarball in the cache has been
# found to be the pinned one. Only those files: the rest of the package is
# none of our business.
function(_snapwick_protocols_from package release version sha256)
  set(orig ${SNAPWICK_DEPS_CACHE}/${package}/${package}_${version}.orig.tar.xz)
  if(NOT EXISTS ${orig})
    message(FATAL_ERROR
      "${package} ${version}'s Debian source package is not in ${SNAPWICK_DEPS_CACHE}/${package}. "
      "Run tools/deps.sh (as root, once: it adds Debian's deb-src entries), or, where apt "
      "already knows the sources:\n"
      "  mkdir -p ${SNAPWICK_DEPS_CACHE}/${package} && cd ${SNAPWICK_DEPS_CACHE}/${package} && "
      "apt-get source --download-only ${package}/${release}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${orig})
  file(SHA256 ${orig} actual)
  if(NOT actual STREQUAL sha256)
    message(FATAL_ERROR "${orig} is not the tarball this build was made for:\n"
                        "  SHA-256 ${actual}\n  expected ${sha256}")
  endif()
  set(stamp ${_xml_dir}/.${package}-${actual})
  if(EXISTS ${stamp})
    return()
  endif()
  set(unpacked ${_xml_dir}/unpacked-${package})
  set(members)
  foreach(member IN LISTS ARGN)
    list(APPEND members ${package}-${version}/${member})
  endforeach()
  file(REMOVE_RECURSE ${unpacked})
  file(ARCHIVE_EXTRACT INPUT ${orig} DESTINATION ${unpacked} PATTERNS ${members})
  foreach(member IN LISTS members)
    if(NOT EXISTS ${unpacked}/${member})
      message(FATAL_ERROR "${orig} holds no ${member}")
    endif()
    get_filename_component(name ${member} NAME)
    file(COPY_FILE ${unpacked}/${member} ${_xml_dir}/${name})
  endforeach()
  file(REMOVE_RECURSE ${unpacked})
  file(TOUCH ${stamp})
endfunction()

_snapwick_protocols_from(wlroots bookworm 0.15.1
  e55b07264339dc258afbf950b36da932d510caf6e9721d500f9a94d27ce2f14d
  protocol/wlr-screencopy-unstable-v1.xml
  protocol/virtual-keyboard-unstable-v1.xml)
_snapwick_protocols_from(wayland-protocols trixie 1.44
  3df1107ecf8bfd6ee878aeca5d3b7afd81248a48031e14caf6ae01f14eebb50e
  staging/ext-image-capture-source/ext-image-capture-source-v1.xml
  staging/ext-image-copy-capture/ext-image-copy-capture-v1.xml
  staging/ext-foreign-toplevel-list/ext-foreign-toplevel-list-v1.xml)

find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET GLOBAL wayland-client)
pkg_get_variable(_scanner wayland-scanner wayland_scanner)
pkg_get_variable(_stable_protocols wayland-protocols pkgdatadir)
if(NOT _scanner OR NOT _stable_protocols)
  message(FATAL_ERROR "wayland-scanner (libwayland-bin) and wayland-protocols are needed")
endif()
find_program(SNAPWICK_WAYLAND_SCANNER NAMES wayland-scanner HINTS ${_scanner} REQUIRED)

set(_xmls
  ${_xml_dir}/wlr-screencopy-unstable-v1.xml
  ${_xml_dir}/virtual-keyboard-unstable-v1.xml
  ${_xml_dir}/ext-image-capture-source-v1.xml
  ${_xml_dir}/ext-image-copy-capture-v1.xml
  ${_xml_dir}/ext-foreign-toplevel-list-v1.xml
  ${_stable_protocols}/unstable/xdg-output/xdg-output-unstable-v1.xml)
set(_out ${CMAKE_BINARY_DIR}/wayland-protocols/generated)
file(MAKE_DIRECTORY ${_out})
set(_sources)
foreach(xml IN LISTS _xmls)
  get_filename_component(name ${xml} NAME_WE)
  add_custom_command(
    OUTPUT ${_out}/${name}-client-protocol.h ${_out}/${name}-protocol.c
    COMMAND ${SNAPWICK_WAYLAND_SCANNER} client-header ${xml} ${_out}/${name}-client-protocol.h
    COMMAND ${SNAPWICK_WAYLAND_SCANNER} private-code ${xml} ${_out}/${name}-protocol.c
    DEPENDS ${xml}
    COMMENT "wayland-scanner: ${name}")
  list(APPEND _sources ${_out}/${name}-client-protocol.h ${_out}/${name}-protocol.c)
endforeach()

add_library(snapwick_wayland_protocols STATIC ${_sources})
target_include_directories(snapwick_wayland_protocols PUBLIC ${_out})
target_link_libraries(snapwick_wayland_protocols PUBLIC PkgConfig::WAYLAND_CLIENT)
