# Warnings are errors for our own code on both toolchains; third-party code
# keeps its own flags.
function(tavro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# A static library of one folder of the layout.
function(tavro_library target)
  add_library(${target} STATIC ${ARGN})
  tavro_warnings(${target})
endfunction()
