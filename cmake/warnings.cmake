# One INTERFACE target carries the warning flags; every Framolo target links it.
add_library(framolo_warnings INTERFACE)
add_library(framolo::warnings ALIAS framolo_warnings)
target_compile_options(framolo_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wconversion -Wshadow
  $<$<BOOL:${FRAMOLO_WERROR}>:-Werror>)
