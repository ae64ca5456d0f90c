# lumora, the Linux command-line monitor, with its tests: the frame handling
# and the records under the sanitizers, and end-to-end runs in network
# namespaces that the test script creates (root only).

# The end-to-end scripts exit 77 where they cannot run (not root, no ip
# command) and say why: a skip for a developer, a failure in CI, where every
# test must run. cmake/foreign.cmake uses it too.
function(lumora_skip_outside_ci test)
  if(NOT "$ENV{CI}" STREQUAL "true")
    set_tests_properties(${test} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()

find_library(LUMORA_PCAP_LIBRARY pcap REQUIRED)  # Debian's libpcap-dev
find_library(LUMORA_MNL_LIBRARY mnl REQUIRED)  # libmnl-dev: the rtnetlink questions

# The IPv6 report, the link layers and the wake diagnosis are lumora's alone:
# Lumora.exe listens to IPv4 only and judges its adapter by Windows' own facts.
set(LUMORA_LINUX_ANALYSIS_SOURCES src/analysis/ipv6_wake.cpp
  src/analysis/wake_diagnosis.cpp src/analysis/link_layer.cpp src/analysis/frame_magic.cpp
  src/analysis/wake_signs.cpp src/analysis/awake_watch.cpp src/analysis/neighbour_watch.cpp src/analysis/oui_registry.cpp)
foreach(variant "" ${LUMORA_TEST_VARIANT})
  target_sources(lumora_analysis${variant} PRIVATE ${LUMORA_LINUX_ANALYSIS_SOURCES})
endforeach()
if(LUMORA_TESTS)
  # The link layers, the diagnosis and the hints, tested without libpcap.
  target_sources(analysis_test PRIVATE tests/analysis/frame_magic_test.cpp tests/analysis/windows_readiness_test.cpp
    tests/analysis/neighbour_watch_test.cpp
    tests/analysis/wake_diagnosis_test.cpp tests/analysis/awake_watch_test.cpp tests/analysis/oui_registry_test.cpp)
  target_include_directories(analysis_test PRIVATE tests)
endif()

# The records lumora writes (the sighting, its line and json, the readiness,
# the summary): portable, plain and under the sanitizers.
set(LUMORA_RECORDS_SOURCES src/records/readiness_forms.cpp
  src/records/record_writer.cpp src/records/sighting.cpp src/records/sighting_forms.cpp src/records/summary.cpp
  src/records/awake_forms.cpp src/records/unanswered_forms.cpp)
foreach(variant "" ${LUMORA_TEST_VARIANT})
  add_library(lumora_records${variant} STATIC ${LUMORA_RECORDS_SOURCES})
  target_link_libraries(lumora_records${variant} PUBLIC lumora_analysis${variant})
  target_compile_options(lumora_records${variant} PRIVATE ${LUMORA_WARNINGS} -fno-exceptions)
  target_compile_definitions(lumora_records${variant} PRIVATE ${LUMORA_TIME64})
endforeach()

if(LUMORA_TESTS)
  add_executable(records_test tests/records/sighting_forms_test.cpp)
  target_link_libraries(records_test PRIVATE lumora_records${LUMORA_TEST_VARIANT} GTest::gtest_main)
  target_include_directories(records_test PRIVATE tests)
  target_compile_options(records_test PRIVATE ${LUMORA_WARNINGS})
  add_test(NAME records_test COMMAND records_test)
endif()

set(LUMORA_LINUX_SOURCES
  src/linux/capture/capture.cpp
  src/linux/capture/capture_filter.cpp
  src/linux/capture/diagnostics.cpp
  src/linux/capture/privileges.cpp
  src/linux/capture/output.cpp
  src/linux/capture/standard_streams.cpp
  src/linux/capture/stop_signals.cpp
  src/linux/facts/readiness.cpp
  src/linux/facts/sighting_diagnosis.cpp
  src/linux/facts/card_state.cpp
  src/linux/facts/ethers.cpp
  src/linux/facts/interfaces.cpp
  src/linux/facts/makers.cpp
  src/linux/facts/neighbours.cpp
  src/linux/facts/oui_file.cpp
  src/linux/facts/route.cpp
  src/linux/facts/rtnetlink.cpp
  src/linux/program/capture_command.cpp
  src/linux/program/check_command.cpp
  src/linux/program/list_commands.cpp
  src/linux/program/main.cpp
  src/linux/program/merge_command.cpp
  src/linux/program/options.cpp
)

function(lumora_linux_program name records merge)
  add_executable(${name} ${LUMORA_LINUX_SOURCES})
  target_link_libraries(${name} PRIVATE ${records} ${merge} ${LUMORA_PCAP_LIBRARY} ${LUMORA_MNL_LIBRARY})
  target_compile_options(${name} PRIVATE ${LUMORA_WARNINGS} -fno-exceptions)
  target_compile_definitions(${name} PRIVATE _FILE_OFFSET_BITS=64)
  target_include_directories(${name} PRIVATE res)
endfunction()

# build/native/lumora (with the tools, lumora_sanitized below for the end-to-end tests).
lumora_linux_program(lumora lumora_records lumora_merge)
if(NOT LUMORA_TESTS)
  return()
endif()

# The command line, under the sanitizers where the tools are built.
add_executable(lumora_linux_test tests/linux/options_test.cpp src/linux/program/options.cpp
  src/linux/capture/diagnostics.cpp)
target_link_libraries(lumora_linux_test PRIVATE lumora_records${LUMORA_TEST_VARIANT} GTest::gtest_main)
target_include_directories(lumora_linux_test PRIVATE res)
target_compile_options(lumora_linux_test PRIVATE ${LUMORA_WARNINGS})
add_test(NAME lumora_linux_test COMMAND lumora_linux_test)

# Writes the capture files that the end-to-end tests read.
add_executable(capture_files tests/linux/capture_files.cpp)
target_link_libraries(capture_files PRIVATE GTest::gtest ${LUMORA_PCAP_LIBRARY})
target_include_directories(capture_files PRIVATE tests src)
target_compile_options(capture_files PRIVATE ${LUMORA_WARNINGS})

# What follows runs on this machine only: the end-to-end tests (root, network
# namespaces, QEMU) with lumora under the sanitizers, and the benchmarks.
if(NOT LUMORA_DEVELOPER_TOOLS)
  return()
endif()
lumora_linux_program(lumora_sanitized lumora_records_sanitized lumora_merge_sanitized)

set(LUMORA_CAPTURE_TEST ${CMAKE_SOURCE_DIR}/tests/linux/capture_test.sh)
foreach(group reports reports_sanitized every_interface flood errors files privileges streams formats diagnosis
    sender awake)
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
# Each host a namespace of its own with its own journald, lumora under
# systemd-cat, journals uploaded to a collector's systemd-journal-remote:
# lumora --merge of the collected journal says woke, lost and no_wake.
add_test(NAME lumora_journal COMMAND ${CMAKE_SOURCE_DIR}/tests/linux/journal_test.sh $<TARGET_FILE:lumora>)
set_tests_properties(lumora_journal PROPERTIES TIMEOUT 300)
lumora_skip_outside_ci(lumora_journal)

# What "did it wake?" costs each frame, beside bench/lumora_bench's figures.
add_executable(awake_watch_bench bench/awake_watch_bench.cpp)
target_link_libraries(awake_watch_bench PRIVATE lumora_analysis benchmark::benchmark)
target_compile_options(awake_watch_bench PRIVATE ${LUMORA_WARNINGS})

# The flood and the capture file of bench/lumora_bench.
add_executable(flood_sender bench/flood_sender.cpp)
target_compile_options(flood_sender PRIVATE ${LUMORA_WARNINGS})
add_executable(capture_file_writer bench/capture_file_writer.cpp)
target_link_libraries(capture_file_writer PRIVATE ${LUMORA_PCAP_LIBRARY})
target_compile_options(capture_file_writer PRIVATE ${LUMORA_WARNINGS})

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # The frame dispatch of every link type and the IPv6 and 0x0842 reports: a
  # short, bounded run on every test pass; scripts/test fuzzes the UDP side longer.
  add_executable(frame_fuzz fuzz/frame_fuzz.cpp ${LUMORA_ANALYSIS_SOURCES} ${LUMORA_LINUX_ANALYSIS_SOURCES}
    ${LUMORA_RECORDS_SOURCES})
  target_include_directories(frame_fuzz PRIVATE src)
  target_compile_options(frame_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all ${LUMORA_WARNINGS})
  target_link_options(frame_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  add_test(NAME frame_fuzz COMMAND frame_fuzz -runs=500000 -max_total_time=60 -max_len=65550)

  # The sign classifier and the OUI registry parser, briefly on every test pass.
  add_executable(wake_signs_fuzz fuzz/wake_signs_fuzz.cpp ${LUMORA_ANALYSIS_SOURCES} ${LUMORA_LINUX_ANALYSIS_SOURCES})
  target_include_directories(wake_signs_fuzz PRIVATE src)
  target_compile_options(wake_signs_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all ${LUMORA_WARNINGS})
  target_link_options(wake_signs_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  add_test(NAME wake_signs_fuzz COMMAND wake_signs_fuzz -runs=200000 -max_total_time=20)
endif()
