# lumora for another Debian architecture, from this amd64 machine: clang
# targets it, lld links, and a sysroot of Debian's own packages for it
# (scripts/sysroot) stands in for /usr. The unit tests run under qemu-user.
#   LUMORA_CROSS_ARCH: Debian's name, arm64 or armhf
set(CMAKE_SYSTEM_NAME Linux)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LUMORA_CROSS_ARCH)  # the compiler checks read this file too
if(LUMORA_CROSS_ARCH STREQUAL "arm64")
  set(CMAKE_SYSTEM_PROCESSOR aarch64)
  set(LUMORA_CROSS_TRIPLE aarch64-linux-gnu)
  set(LUMORA_CROSS_QEMU qemu-aarch64-static)
elseif(LUMORA_CROSS_ARCH STREQUAL "armhf")
  set(CMAKE_SYSTEM_PROCESSOR armv7l)
  set(LUMORA_CROSS_TRIPLE arm-linux-gnueabihf)
  set(LUMORA_CROSS_QEMU qemu-arm-static)
else()
  message(FATAL_ERROR "LUMORA_CROSS_ARCH must be arm64 or armhf, not '${LUMORA_CROSS_ARCH}'")
endif()

# Made on the first configure (as root), then found in the cache.
execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/sysroot ${LUMORA_CROSS_ARCH}
  OUTPUT_VARIABLE CMAKE_SYSROOT OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE LUMORA_SYSROOT_RESULT)
if(NOT LUMORA_SYSROOT_RESULT EQUAL 0 OR NOT EXISTS ${CMAKE_SYSROOT}/usr/include)
  message(FATAL_ERROR "no ${LUMORA_CROSS_ARCH} sysroot: scripts/sysroot ${LUMORA_CROSS_ARCH} failed")
endif()

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${LUMORA_CROSS_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${LUMORA_CROSS_TRIPLE})
set(CMAKE_EXE_LINKER_FLAGS_INIT -fuse-ld=lld)
set(CMAKE_STRIP llvm-strip)  # binutils' strip knows this machine's format only
# Debian's armhf: ARMv7 with VFPv3-D16, Thumb-2.
if(LUMORA_CROSS_ARCH STREQUAL "armhf")
  set(CMAKE_C_FLAGS_INIT "-march=armv7-a -mfpu=vfpv3-d16 -mthumb")
  set(CMAKE_CXX_FLAGS_INIT "-march=armv7-a -mfpu=vfpv3-d16 -mthumb")
endif()

# Headers, libraries and CMake packages from the sysroot only; programs from here.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the tests through qemu-user, which finds the dynamic loader and
# the libraries in the sysroot.
set(CMAKE_CROSSCOMPILING_EMULATOR ${LUMORA_CROSS_QEMU} -L ${CMAKE_SYSROOT})
