# The Windows build: one static library with everything but the entry
# function, Lumora.exe, and the test programs, which ctest runs under Wine.
enable_language(RC)

add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
# One .exe with nothing to install: no MinGW runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static")

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(lumora STATIC
  src/analysis/magic_packet.cpp
)
target_include_directories(lumora PUBLIC src)
target_compile_options(lumora PRIVATE ${LUMORA_WARNINGS} -fno-exceptions)

function(lumora_windows_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE lumora GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${LUMORA_WARNINGS})
  add_test(NAME ${name} COMMAND ${name})
endfunction()

lumora_windows_test(analysis_test tests/magic_packet_test.cpp)
