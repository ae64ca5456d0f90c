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

# The same files and journal through this machine's lumora and the foreign
# one: the output must be the same byte for byte.
set(LUMORA_NATIVE_BUILD ${CMAKE_SOURCE_DIR}/build/native CACHE PATH "The native build whose lumora is compared")
add_test(NAME lumora_foreign_output COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-foreign ${LUMORA_CROSS_ARCH}
  $<TARGET_FILE:lumora> ${CMAKE_SYSROOT} ${LUMORA_CROSS_QEMU} ${LUMORA_NATIVE_BUILD})
set_tests_properties(lumora_foreign_output PROPERTIES TIMEOUT 600)
