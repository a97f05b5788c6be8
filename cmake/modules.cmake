# Every folder of src/ is one static library, snapwick_<folder>, linked with
# exactly the folders that src/dependencies.txt allows it.
#
# Each library has an include root of its own: a folder in the build tree
# that holds only a link named after the module's folder, so that
# "capture/shot_name.h" is found only by code that depends on capture.

set(SNAPWICK_DEPENDENCIES_FILE ${CMAKE_SOURCE_DIR}/src/dependencies.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SNAPWICK_DEPENDENCIES_FILE})
file(STRINGS ${SNAPWICK_DEPENDENCIES_FILE} _snapwick_rules REGEX "^[a-z0-9_/.]+:")
foreach(_rule IN LISTS _snapwick_rules)
  string(REGEX MATCH "^([^:]+):(.*)$" _ "${_rule}")
  string(STRIP "${CMAKE_MATCH_2}" _uses)
  string(REPLACE " " ";" _uses "${_uses}")
  set(SNAPWICK_USES_${CMAKE_MATCH_1} "${_uses}")
endforeach()

# snapwick_target_of(<var> <folder or file>): the library's name.
function(snapwick_target_of out folder)
  string(REPLACE "/" "_" name "${folder}")
  string(REPLACE "." "_" name "${name}")
  set(${out} snapwick_${name} PARENT_SCOPE)
endfunction()

# snapwick_link_uses(<target> <rule> [INTERFACE]): links what the rule
# allows.
function(snapwick_link_uses target rule)
  if(NOT DEFINED SNAPWICK_USES_${rule})
    message(FATAL_ERROR "${rule} has no line in src/dependencies.txt")
  endif()
  set(scope PUBLIC)
  if(ARGN)
    set(scope ${ARGN})
  endif()
  foreach(used IN LISTS SNAPWICK_USES_${rule})
    snapwick_target_of(lib ${used})
    target_link_libraries(${target} ${scope} ${lib})
  endforeach()
endfunction()

# snapwick_module([sources...]): the library of the current folder.
function(snapwick_module)
  file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  snapwick_target_of(target ${folder})
  if(ARGN)
    add_library(${target} STATIC ${ARGN})
    set(scope PUBLIC)
  else()
    add_library(${target} INTERFACE)
    set(scope INTERFACE)
  endif()

  set(root ${CMAKE_CURRENT_BINARY_DIR}/include)
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC RESULT linked)
    if(NOT linked EQUAL 0)
      # No symbolic links (Windows without the right to make them): the
      # whole source tree, and the include check alone keeps the edges.
      set(root ${CMAKE_SOURCE_DIR}/src)
    endif()
  endif()
  target_include_directories(${target} ${scope} ${root})
  snapwick_link_uses(${target} ${folder} ${scope})
endfunction()
