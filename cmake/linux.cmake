# lumora, the Linux command-line monitor, with its tests: the Ethernet wake
# report and the frame handling under the sanitizers, and end-to-end runs in
# network namespaces that the test script creates (root only).
find_library(LUMORA_PCAP_LIBRARY pcap REQUIRED)  # Debian's libpcap-dev

# The IPv6 report and the wake diagnosis are lumora's alone: Lumora.exe
# listens to IPv4 only and reads nothing of the machine's cards.
set(LUMORA_LINUX_ANALYSIS_SOURCES src/analysis/ipv6_wake.cpp src/analysis/hints.cpp
  src/analysis/wake_diagnosis.cpp)
target_sources(lumora_analysis PRIVATE ${LUMORA_LINUX_ANALYSIS_SOURCES})
target_sources(lumora_analysis_sanitized PRIVATE ${LUMORA_LINUX_ANALYSIS_SOURCES})

set(LUMORA_LINUX_SOURCES
  src/linux/capture.cpp
  src/linux/capture_filter.cpp
  src/linux/diagnostics.cpp
  src/linux/frame_report.cpp
  src/linux/mac_filter.cpp
  src/linux/main.cpp
  src/linux/options.cpp
  src/linux/output_format.cpp
  src/linux/privileges.cpp
  src/linux/readiness.cpp
  src/linux/report_output.cpp
  src/linux/sighting_diagnosis.cpp
  src/linux/sighting_summary.cpp
  src/linux/standard_streams.cpp
  src/linux/stop_signals.cpp
  src/linux/system_facts.cpp
)

function(lumora_linux_program name analysis)
  add_executable(${name} ${LUMORA_LINUX_SOURCES})
  target_link_libraries(${name} PRIVATE ${analysis} ${LUMORA_PCAP_LIBRARY})
  target_compile_options(${name} PRIVATE ${LUMORA_WARNINGS} -fno-exceptions)
  target_include_directories(${name} PRIVATE res)
endfunction()

# build/native/lumora, and the same under the sanitizers for the end-to-end test.
lumora_linux_program(lumora lumora_analysis)
lumora_linux_program(lumora_sanitized lumora_analysis_sanitized)

# lumora's pieces under the sanitizers: the reports and the frame dispatch, the
# options, the wake verdict, --mac, the line and json forms and the summary.
add_executable(lumora_linux_test tests/linux/frame_report_test.cpp tests/linux/options_test.cpp
  tests/linux/wake_verdict_test.cpp tests/linux/mac_filter_test.cpp tests/linux/output_format_test.cpp
  tests/linux/wake_diagnosis_test.cpp
  src/linux/frame_report.cpp src/linux/options.cpp src/linux/diagnostics.cpp src/linux/mac_filter.cpp
  src/linux/output_format.cpp src/linux/sighting_summary.cpp)
target_link_libraries(lumora_linux_test PRIVATE lumora_analysis_sanitized GTest::gtest_main)
target_include_directories(lumora_linux_test PRIVATE tests res)
target_compile_options(lumora_linux_test PRIVATE ${LUMORA_WARNINGS})
add_test(NAME lumora_linux_test COMMAND lumora_linux_test)

# Writes the capture files that the end-to-end tests read.
add_executable(capture_files tests/linux/capture_files.cpp)
target_link_libraries(capture_files PRIVATE GTest::gtest ${LUMORA_PCAP_LIBRARY})
target_include_directories(capture_files PRIVATE tests src)
target_compile_options(capture_files PRIVATE ${LUMORA_WARNINGS})


# The end-to-end scripts exit 77 where they cannot run (not root, no ip
# command) and say why: a skip for a developer, a failure in CI, where every
# test must run.
function(lumora_skip_outside_ci test)
  if(NOT "$ENV{CI}" STREQUAL "true")
    set_tests_properties(${test} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()

set(LUMORA_CAPTURE_TEST ${CMAKE_SOURCE_DIR}/tests/linux/capture_test.sh)
foreach(group reports reports_sanitized every_interface flood errors files privileges streams formats diagnosis
    sender)
  add_test(NAME lumora_${group}
    COMMAND ${LUMORA_CAPTURE_TEST} ${group} $<TARGET_FILE:lumora> $<TARGET_FILE:lumora_sanitized>
            ${CMAKE_SOURCE_DIR}/tests/linux/wake_sender.py $<TARGET_FILE:capture_files>)
  set_tests_properties(lumora_${group} PROPERTIES TIMEOUT 300)
  lumora_skip_outside_ci(lumora_${group})
endforeach()

# lumora against Linux's own e100 driver in a QEMU guest, software emulation
# only: the card's readiness before and after `ethtool -s eth0 wol g`, and
# would_wake on a frame for the guest's own MAC.
add_test(NAME lumora_qemu COMMAND ${CMAKE_SOURCE_DIR}/tests/linux/qemu_wake_test.sh $<TARGET_FILE:lumora>)
set_tests_properties(lumora_qemu PROPERTIES TIMEOUT 600)
lumora_skip_outside_ci(lumora_qemu)
# The same guest suspended to RAM, its tap on a bridge that lumora watches:
# no_sign while it sleeps, woke by dhcp once resumed.
add_test(NAME lumora_qemu_sleep COMMAND ${CMAKE_SOURCE_DIR}/tests/linux/qemu_sleep_test.sh $<TARGET_FILE:lumora>)
set_tests_properties(lumora_qemu_sleep PROPERTIES TIMEOUT 600)
lumora_skip_outside_ci(lumora_qemu_sleep)

# The flood and the capture file of bench/lumora_bench.
add_executable(flood_sender bench/flood_sender.cpp)
target_compile_options(flood_sender PRIVATE ${LUMORA_WARNINGS})
add_executable(capture_file_writer bench/capture_file_writer.cpp)
target_link_libraries(capture_file_writer PRIVATE ${LUMORA_PCAP_LIBRARY})
target_compile_options(capture_file_writer PRIVATE ${LUMORA_WARNINGS})

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # The frame dispatch of every link type and the IPv6 and 0x0842 reports: a
  # short, bounded run on every test pass; scripts/test fuzzes the UDP side longer.
  add_executable(frame_fuzz fuzz/frame_fuzz.cpp src/linux/frame_report.cpp src/linux/mac_filter.cpp
    src/linux/output_format.cpp ${LUMORA_ANALYSIS_SOURCES} ${LUMORA_LINUX_ANALYSIS_SOURCES})
  target_include_directories(frame_fuzz PRIVATE src)
  target_compile_options(frame_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all ${LUMORA_WARNINGS})
  target_link_options(frame_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  add_test(NAME frame_fuzz COMMAND frame_fuzz -runs=500000 -max_total_time=60 -max_len=65550)
endif()
