# libjpeg-turbo for the Windows build, taken from Debian's source package:
# the upstream tarball, pinned by its hash because it must never change
# under us, with whatever patches Debian's current revision carries, cross-
# built with our own toolchain as a static library with its SIMD code.
# tools/deps.sh fetches the package into the cache; nothing of it is kept
# in the repository.
#
# Defines the imported target snapwick_turbojpeg_debian and, in the global
# property SNAPWICK_JPEG_LICENSES, the licence files that ship beside the
# exe.
include(ExternalProject)

set(SNAPWICK_LIBJPEG_TURBO_VERSION 2.1.5)
set(SNAPWICK_LIBJPEG_TURBO_SHA256 254f3642b04e309fee775123133c6464181addc150499561020312ec61c1bf7c)

set(_default_cache ${CMAKE_SOURCE_DIR}/.cache/debian-src)
if(DEFINED ENV{SNAPWICK_DEPS_CACHE})
  set(_default_cache $ENV{SNAPWICK_DEPS_CACHE})
endif()
set(SNAPWICK_DEPS_CACHE ${_default_cache} CACHE PATH
    "Where tools/deps.sh keeps the Debian source packages that the Windows build compiles")

set(_source_dir ${SNAPWICK_DEPS_CACHE}/libjpeg-turbo)
set(_orig ${_source_dir}/libjpeg-turbo_${SNAPWICK_LIBJPEG_TURBO_VERSION}.orig.tar.gz)
file(GLOB _dscs ${_source_dir}/libjpeg-turbo_${SNAPWICK_LIBJPEG_TURBO_VERSION}-*.dsc)
if(NOT EXISTS ${_orig} OR NOT _dscs)
  message(FATAL_ERROR
    "libjpeg-turbo ${SNAPWICK_LIBJPEG_TURBO_VERSION}'s Debian source package is not in "
    "${_source_dir}. Run tools/deps.sh (as root, once: it adds Debian's deb-src entry), or, "
    "where apt already knows the sources:\n"
    "  mkdir -p ${_source_dir} && cd ${_source_dir} && apt-get source --download-only libjpeg-turbo")
endif()
# Several revisions may have gathered in the cache over time: the newest.
list(SORT _dscs COMPARE NATURAL)
list(GET _dscs -1 _dsc)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_dsc})

find_program(SNAPWICK_DPKG_SOURCE dpkg-source REQUIRED)
find_program(SNAPWICK_NASM nasm REQUIRED)

set(_prefix ${CMAKE_BINARY_DIR}/libjpeg-turbo)
set(_installed ${_prefix}/installed)
set(_library ${_installed}/lib/libturbojpeg.a)
if(CMAKE_GENERATOR MATCHES "Makefiles")
  # $(MAKE) lets the outer make share its jobs with the inner one.
  set(_build $(MAKE) turbojpeg-static)
else()
  set(_build ${CMAKE_COMMAND} --build <BINARY_DIR> --target turbojpeg-static)
endif()

ExternalProject_Add(libjpeg_turbo_debian
  PREFIX ${_prefix}
  SOURCE_DIR ${_prefix}/source
  DOWNLOAD_COMMAND
    ${CMAKE_COMMAND} -DORIG=${_orig} -DSHA256=${SNAPWICK_LIBJPEG_TURBO_SHA256} -DDSC=${_dsc}
                     -DTREE=<SOURCE_DIR> -P ${CMAKE_SOURCE_DIR}/cmake/unpack_debian_source.cmake
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_ASM_NASM_COMPILER=${SNAPWICK_NASM}
    # Its default, c:/libjpeg-turbo-gcc64, is no path on this side.
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
    -DENABLE_SHARED=OFF
    -DENABLE_STATIC=ON
    -DWITH_TURBOJPEG=ON
    # Without the assembler the library would silently be several times
    # slower: fail instead.
    -DREQUIRE_SIMD=ON
  BUILD_COMMAND ${_build}
  # Only what the program links and what must ship beside it.
  INSTALL_COMMAND
    ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libturbojpeg.a ${_installed}/lib/
    COMMAND ${CMAKE_COMMAND} -E copy <SOURCE_DIR>/turbojpeg.h <SOURCE_DIR>/jpeglib.h
                                     <SOURCE_DIR>/jmorecfg.h <SOURCE_DIR>/jerror.h
                                     <BINARY_DIR>/jconfig.h ${_installed}/include/
    COMMAND ${CMAKE_COMMAND} -E copy <SOURCE_DIR>/LICENSE.md <SOURCE_DIR>/README.ijg
                                     ${_installed}/licenses/
  BUILD_BYPRODUCTS ${_library}
  LOG_DOWNLOAD ON
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)

# An imported target's include folder must exist before the library is built.
file(MAKE_DIRECTORY ${_installed}/include ${_installed}/lib ${_installed}/licenses)
add_library(snapwick_turbojpeg_debian STATIC IMPORTED GLOBAL)
set_target_properties(snapwick_turbojpeg_debian PROPERTIES
  IMPORTED_LOCATION ${_library}
  INTERFACE_INCLUDE_DIRECTORIES ${_installed}/include)
add_dependencies(snapwick_turbojpeg_debian libjpeg_turbo_debian)

set_property(GLOBAL PROPERTY SNAPWICK_JPEG_LICENSES
  ${_installed}/licenses/LICENSE.md
  ${_installed}/licenses/README.ijg)
