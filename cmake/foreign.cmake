# What only a cross build runs, on this amd64 machine: checks of the foreign
# lumora against its own architecture, under emulation.
if(NOT LUMORA_TESTS)
  return()
endif()
