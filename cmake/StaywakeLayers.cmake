# Each library of ours exposes its headers through an include root of its own
# in the build tree, <build>/include/<target>/<Folder> being a link to its
# source folder, so that `#include "StaywakeLinux/..."` resolves only in a
# target that links StaywakeLinux. A layer sees its own headers and those of
# the layers it links, never one above it: including one fails to compile.
# (Quoted includes are also looked up beside the including file, but no
# layer's folder holds another's, and no include climbs out with "..".)
function(staywake_layer_headers target)
  get_filename_component(folder_name "${CMAKE_CURRENT_SOURCE_DIR}" NAME)
  set(root "${CMAKE_BINARY_DIR}/include/${target}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${root}/${folder_name}" SYMBOLIC)
  target_include_directories(${target} PUBLIC "${root}")
endfunction()

# staywake_layer_sources(<var>): every .cpp and .h file under the current
# folder, found again whenever one is added or removed, except main.cpp, which
# is the layer's program. All layers take their sources this one way.
function(staywake_layer_sources out_var)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  list(REMOVE_ITEM sources "${CMAKE_CURRENT_SOURCE_DIR}/main.cpp")
  set(${out_var} ${sources} PARENT_SCOPE)
endfunction()

# staywake_layer_library(<target>): the layer's static library from its
# sources, exposing its headers, with our warnings.
function(staywake_layer_library target)
  staywake_layer_sources(sources)
  add_library(${target} STATIC ${sources})
  staywake_layer_headers(${target})
  staywake_target_warnings(${target})
endfunction()

# staywake_check_layers(<target>...): the targets of the layers, lowest first.
# Fails the configuration when one links a target listed after it, which
# would hand it that layer's headers.
function(staywake_check_layers)
  set(below "")
  foreach(target IN LISTS ARGN)
    get_target_property(links ${target} LINK_LIBRARIES)
    foreach(link IN LISTS links)
      if(link IN_LIST ARGN AND NOT link IN_LIST below)
        message(FATAL_ERROR "${target} links ${link}, a layer above its own")
      endif()
    endforeach()
    list(APPEND below ${target})
  endforeach()
endfunction()

# The compile check behind the include roots: a source of the core that
# includes a header of the Linux layer must not compile. The test builds it
# and expects the compiler to miss that header, not to fail in any other way.
function(staywake_add_layer_test)
  set(probe "${CMAKE_BINARY_DIR}/layer-probe/UpwardInclude.cpp")
  file(CONFIGURE OUTPUT "${probe}" CONTENT "#include \"StaywakeLinux/SystemError.h\"\n")
  add_library(StaywakeUpwardIncludeProbe OBJECT EXCLUDE_FROM_ALL "${probe}")
  target_link_libraries(StaywakeUpwardIncludeProbe PRIVATE StaywakeCore)
  add_test(NAME layers.upwardIncludeDoesNotCompile
    COMMAND "${CMAKE_COMMAND}" --build "${CMAKE_BINARY_DIR}" --target StaywakeUpwardIncludeProbe)
  set_tests_properties(layers.upwardIncludeDoesNotCompile PROPERTIES
    PASS_REGULAR_EXPRESSION "StaywakeLinux/SystemError.h'?:? (No such file|file not found)")
endfunction()
