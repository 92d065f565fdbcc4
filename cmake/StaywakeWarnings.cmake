# Warnings are errors in every target of ours; third-party headers come in as
# system includes and are not held to them.
function(staywake_target_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Woverloaded-virtual -Wnull-dereference -Wdouble-promotion
    -Wformat=2 -Wimplicit-fallthrough -Wmisleading-indentation
    -Wduplicated-cond -Wlogical-op -Wuseless-cast)
endfunction()
