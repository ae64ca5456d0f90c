# The Windows build: one static library with everything but the entry
# function, Lumora.exe, and the test programs, which ctest runs under Wine.
enable_language(RC)

add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
# One .exe with nothing to install: no MinGW runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static")
# The same commit builds the same bytes, so a download can be checked against
# a build: no link time in the PE header, and no path of the checkout in the
# code (__FILE__, as an assert would embed it). windres takes no such flag.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>)
add_link_options(-Wl,--no-insert-timestamp)

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(lumora STATIC
  src/base/text_writer.cpp
  src/analysis/hints.cpp
  src/analysis/magic_packet.cpp
  src/analysis/magic_report.cpp
  src/analysis/windows_readiness.cpp
  src/app/failure_report.cpp
  src/app/power_facts.cpp
  src/app/registry_setting.cpp
  src/app/startup.cpp
  src/app/wake_facts.cpp
  src/capture/capture_worker.cpp
  src/ui/dialog_proc.cpp
  src/ui/log_text.cpp
  src/ui/text_copy.cpp
  src/ui/up_dialog.cpp
  src/ui/worker_context.cpp
)
target_include_directories(lumora PUBLIC src res)
target_compile_options(lumora PRIVATE ${LUMORA_WARNINGS} -fno-exceptions)
target_link_libraries(lumora PUBLIC ws2_32 iphlpapi advapi32 comctl32 shell32)

# The resources go into each program itself: a static library's resource
# object would be dropped by the linker.
set(LUMORA_RESOURCES ${CMAKE_SOURCE_DIR}/res/lumora.rc)
set_property(SOURCE ${LUMORA_RESOURCES} APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/res/lumora.ico ${CMAKE_SOURCE_DIR}/res/lumora-small.ico
  ${CMAKE_SOURCE_DIR}/res/lumora.manifest ${CMAKE_SOURCE_DIR}/res/resource.h ${CMAKE_SOURCE_DIR}/res/version.h)

add_executable(Lumora WIN32 src/app/main.cpp ${LUMORA_RESOURCES})
target_link_libraries(Lumora PRIVATE lumora)
target_compile_options(Lumora PRIVATE ${LUMORA_WARNINGS} -fno-exceptions)
target_link_options(Lumora PRIVATE -s)

function(lumora_windows_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE lumora GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${LUMORA_WARNINGS})
  add_test(NAME ${name} COMMAND ${name})
endfunction()

lumora_windows_test(analysis_test tests/magic_packet_test.cpp tests/log_text_test.cpp)
lumora_windows_test(dialog_test tests/worker_dialog_test.cpp tests/gui_test_support.cpp ${LUMORA_RESOURCES})
# The Help test registers this as the browser and reads what it records.
add_executable(standin_browser WIN32 tests/standin_browser.cpp)
target_compile_options(standin_browser PRIVATE ${LUMORA_WARNINGS})
target_link_libraries(dialog_test PRIVATE shlwapi)
add_dependencies(dialog_test standin_browser)
lumora_windows_test(lumora_exe_test tests/lumora_exe_test.cpp tests/gui_test_support.cpp)
target_link_libraries(lumora_exe_test PRIVATE version)
add_dependencies(lumora_exe_test Lumora)
lumora_windows_test(capture_e2e_test tests/capture_e2e_test.cpp tests/readiness_e2e_test.cpp
  tests/gui_test_support.cpp ${LUMORA_RESOURCES})
# The readiness test's powrprof.dll, which Wine loads instead of its own
# (which lacks DevicePowerEnumDevices) only where told to: these runs.
add_library(standin_powrprof SHARED tests/standin_powrprof.cpp)
set_target_properties(standin_powrprof PROPERTIES OUTPUT_NAME powrprof PREFIX "")
target_compile_options(standin_powrprof PRIVATE ${LUMORA_WARNINGS} -fno-exceptions)
target_link_options(standin_powrprof PRIVATE -static -Wl,--kill-at)
add_dependencies(capture_e2e_test standin_powrprof)
set_tests_properties(capture_e2e_test PROPERTIES ENVIRONMENT LUMORA_WINE_OVERRIDES=powrprof=n)
set_property(TEST capture_e2e_test APPEND PROPERTY ENVIRONMENT GTEST_FILTER=-*WinesOwnPowerLibrary*)
add_test(NAME readiness_wine_powrprof COMMAND capture_e2e_test --gtest_filter=*WinesOwnPowerLibrary*)
# The file itself, read without running it: machine, subsystem, imports,
# version block and manifest.
add_test(NAME lumora_exe_file COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-exe ${LUMORA_WINDOWS_ARCH} $<TARGET_FILE:Lumora>)
