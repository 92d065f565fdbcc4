# Warnings are errors in every target of ours; third-party headers come in as
# system includes and are not held to them. A few warnings exist in GCC only;
# clang (the fuzz build) would refuse them as unknown options.
function(staywake_target_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Woverloaded-virtual -Wnull-dereference -Wdouble-promotion
    -Wformat=2 -Wimplicit-fallthrough -Wmisleading-indentation
    $<$<CXX_COMPILER_ID:GNU>:-Wduplicated-cond -Wlogical-op -Wuseless-cast>
    # GCC checks null dereferences only when optimising, and there it flags
    # libstdc++'s own stream buffers (reading a file through
    # istreambuf_iterator): a warning, not an error, in optimised builds.
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-error=null-dereference>)
endfunction()
