# The Wayland protocols the Linux layer speaks beyond the core protocol,
# as client code made by wayland-scanner:
#  - wlr-screencopy-unstable-v1 and virtual-keyboard-unstable-v1, whose XML
#    no binary package of Debian ships: taken from Debian's source package
#    of wlroots, which tools/deps.sh fetches into the cache, its upstream
#    tarball pinned by hash like libjpeg-turbo's;
#  - xdg-output-unstable-v1 from the wayland-protocols package.
#
# Defines the library snapwick_wayland_protocols (the generated code and
# its headers: "wlr-screencopy-unstable-v1-client-protocol.h" and so on).
# The headers land outside any src/ folder, so that the naming check of our
# sources leaves the generated names alone.
include_guard(GLOBAL)

set(SNAPWICK_WLROOTS_VERSION 0.15.1)
set(SNAPWICK_WLROOTS_SHA256 e55b07264339dc258afbf950b36da932d510caf6e9721d500f9a94d27ce2f14d)

set(_default_cache ${CMAKE_SOURCE_DIR}/.cache/debian-src)
if(DEFINED ENV{SNAPWICK_DEPS_CACHE})
  set(_default_cache $ENV{SNAPWICK_DEPS_CACHE})
endif()
set(SNAPWICK_DEPS_CACHE ${_default_cache} CACHE PATH
    "Where tools/deps.sh keeps the Debian source packages that the build takes code from")

set(_orig ${SNAPWICK_DEPS_CACHE}/wlroots/wlroots_${SNAPWICK_WLROOTS_VERSION}.orig.tar.xz)
if(NOT EXISTS ${_orig})
  message(FATAL_ERROR
    "wlroots ${SNAPWICK_WLROOTS_VERSION}'s Debian source package is not in "
    "${SNAPWICK_DEPS_CACHE}/wlroots. Run tools/deps.sh (as root, once: it adds Debian's deb-src "
    "entry), or, where apt already knows the sources:\n"
    "  mkdir -p ${SNAPWICK_DEPS_CACHE}/wlroots && cd ${SNAPWICK_DEPS_CACHE}/wlroots && "
    "apt-get source --download-only wlroots")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_orig})
file(SHA256 ${_orig} _actual)
if(NOT _actual STREQUAL SNAPWICK_WLROOTS_SHA256)
  message(FATAL_ERROR "${_orig} is not the tarball this build was made for:\n"
                      "  SHA-256 ${_actual}\n  expected ${SNAPWICK_WLROOTS_SHA256}")
endif()

# Only the two protocol files: the rest of wlroots is none of our business.
set(_xml_dir ${CMAKE_BINARY_DIR}/wayland-protocols/xml)
set(_wlr_protocols wlr-screencopy-unstable-v1 virtual-keyboard-unstable-v1)
set(_members)
foreach(protocol IN LISTS _wlr_protocols)
  list(APPEND _members wlroots-${SNAPWICK_WLROOTS_VERSION}/protocol/${protocol}.xml)
endforeach()
set(_stamp ${_xml_dir}/.from-${_actual})
if(NOT EXISTS ${_stamp})
  file(REMOVE_RECURSE ${_xml_dir})
  file(MAKE_DIRECTORY ${_xml_dir})
  file(ARCHIVE_EXTRACT INPUT ${_orig} DESTINATION ${_xml_dir}/unpacked PATTERNS ${_members})
  foreach(protocol IN LISTS _wlr_protocols)
    set(_extracted ${_xml_dir}/unpacked/wlroots-${SNAPWICK_WLROOTS_VERSION}/protocol/${protocol}.xml)
    if(NOT EXISTS ${_extracted})
      message(FATAL_ERROR "${_orig} holds no protocol/${protocol}.xml")
    endif()
    file(COPY_FILE ${_extracted} ${_xml_dir}/${protocol}.xml)
  endforeach()
  file(REMOVE_RECURSE ${_xml_dir}/unpacked)
  file(TOUCH ${_stamp})
endif()

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
