# Staywake ships as one self-contained bundle directory, so that every path
# the programs derive from their own location (the helper's pmset beside it,
# the Info.plist above it) holds in the build tree and once installed alike:
#
#   Staywake.app/Contents/Info.plist
#   Staywake.app/Contents/bin/Staywake
#   Staywake.app/Contents/Helpers/StaywakeLidHelper
#   Staywake.app/Contents/Helpers/pmset
#   Staywake.app/Contents/Helpers/StaywakeFileHash
#   Staywake.app/Contents/Helpers/StaywakeUpdateVerify
#   Staywake.app/Contents/Helpers/StaywakeUpdateFetch
#   Staywake.app/Contents/Resources/...
#
# The build tree holds it at ${STAYWAKE_BUNDLE_DIR}; `cmake --install` puts it
# under <prefix>/lib/staywake/.

set(STAYWAKE_BUNDLE_DIR "${CMAKE_BINARY_DIR}/Staywake.app")
set(STAYWAKE_INSTALL_BUNDLE_DIR "lib/staywake/Staywake.app")

# staywake_bundle_executable(<target> <bin|Helpers> [COMMAND <name>])
# Builds the executable into the bundle's Contents/<folder> and installs it
# there. COMMAND also installs <prefix>/bin/<name> as a relative link to it.
function(staywake_bundle_executable target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "COMMAND" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "staywake_bundle_executable: unexpected arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT folder STREQUAL "bin" AND NOT folder STREQUAL "Helpers")
    message(FATAL_ERROR "staywake_bundle_executable(${target}): the folder must be bin or Helpers, not \"${folder}\"")
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${STAYWAKE_BUNDLE_DIR}/Contents/${folder}")
  install(TARGETS ${target} RUNTIME DESTINATION "${STAYWAKE_INSTALL_BUNDLE_DIR}/Contents/${folder}")
  if(arg_COMMAND)
    # The link is made in the build tree and installed as it is (install(FILES)
    # keeps a link a link), so the install manifest lists it.
    file(RELATIVE_PATH link_target "/prefix/${CMAKE_INSTALL_BINDIR}"
      "/prefix/${STAYWAKE_INSTALL_BUNDLE_DIR}/Contents/${folder}")
    get_target_property(program ${target} OUTPUT_NAME)
    if(NOT program)
      set(program ${target})
    endif()
    set(link "${CMAKE_BINARY_DIR}/command-links/${arg_COMMAND}")
    file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/command-links")
    file(CREATE_LINK "${link_target}/${program}" "${link}" SYMBOLIC)
    install(FILES "${link}" DESTINATION "${CMAKE_INSTALL_BINDIR}")
  endif()
endfunction()
