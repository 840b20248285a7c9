# One interface target carries the warning flags; every target links it privately.
add_library(sw_warnings INTERFACE)
target_compile_options(sw_warnings INTERFACE -Wall -Wextra)
