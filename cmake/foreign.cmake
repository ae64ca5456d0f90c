# What only a cross build runs, on this amd64 machine: checks of the foreign
# lumora against its own architecture, under emulation.
if(NOT LUMORA_TESTS)
  return()
endif()

if(LUMORA_CROSS_ARCH STREQUAL "arm64")
  # The arm64 lumora live, where qemu-user cannot take it (libpcap's ethtool
  # ioctl): a qemu-system-aarch64 guest with Debian's arm64 kernel and a
  # virtio-net card, which has no Wake-on-LAN, on a tap.
  add_test(NAME lumora_qemu_arm64 COMMAND ${CMAKE_SOURCE_DIR}/tests/linux/qemu_arm64_test.sh $<TARGET_FILE:lumora>)
  set_tests_properties(lumora_qemu_arm64 PROPERTIES TIMEOUT 600)
  lumora_skip_outside_ci(lumora_qemu_arm64)
endif()
