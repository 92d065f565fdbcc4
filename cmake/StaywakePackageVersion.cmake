# staywake_package_version(<out> <version> <source dir>)
# The Debian package version: the project version, with "~dirty" appended when
# the source tree has uncommitted changes (so such a package sorts below the
# clean build of the same version and can never pass for it). A tree outside
# git, or without git installed, counts as clean.
function(staywake_package_version out version source)
  set(result "${version}")
  find_program(git_program git)
  if(git_program)
    execute_process(COMMAND "${git_program}" -C "${source}" status --porcelain --untracked-files=no
      RESULT_VARIABLE git_result OUTPUT_VARIABLE git_changes ERROR_QUIET)
    if(git_result EQUAL 0 AND NOT git_changes STREQUAL "")
      string(APPEND result "~dirty")
    endif()
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()
