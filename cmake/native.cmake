# The native build: the portable analysis under the sanitizers, its fuzzer
# and its benchmark. A machine that only runs lumora (a Pi) builds neither
# tests nor tools; a cross build runs the unit tests, unsanitized, under
# qemu-user.
option(LUMORA_TESTS "the unit tests and, with the tools, the end-to-end tests" ON)
option(LUMORA_DEVELOPER_TOOLS "the sanitizers, the fuzzers and the benchmarks" ON)
if(LUMORA_TESTS)
  find_package(GTest REQUIRED)
endif()
if(LUMORA_DEVELOPER_TOOLS)
  find_package(benchmark REQUIRED)
  # The libraries' variants: plain for lumora, sanitized for the tests.
  set(LUMORA_TEST_VARIANT _sanitized)
else()
  set(LUMORA_TEST_VARIANT "")
endif()

# No path of the checkout in what ships (__FILE__, as an assert would embed
# it), so that two checkouts build the same .deb.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)

# Times past January 2038 and files past 2 GiB on 32-bit Linux (armhf) too,
# for the portable rooms, which convert and print every time. lumora's own
# code gets the large files only: libpcap's pcap_pkthdr has this system's
# time_t, and Debian 12's armhf libpcap was built with the 32-bit one.
set(LUMORA_TIME64 _FILE_OFFSET_BITS=64 _TIME_BITS=64)
set(LUMORA_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
# The shared room below everything: the text writer, MAC text, outcome words.
set(LUMORA_BASE_SOURCES src/base/text_writer.cpp src/base/mac_text.cpp src/base/wake_outcome.cpp)
set(LUMORA_ANALYSIS_SOURCES ${LUMORA_BASE_SOURCES} src/analysis/magic_packet.cpp src/analysis/magic_report.cpp
  src/analysis/ethernet_wake.cpp src/analysis/wake_verdict.cpp src/analysis/hints.cpp
  src/analysis/windows_readiness.cpp)

add_library(lumora_analysis STATIC ${LUMORA_ANALYSIS_SOURCES})
target_include_directories(lumora_analysis PUBLIC src)
target_compile_definitions(lumora_analysis PRIVATE ${LUMORA_TIME64})
target_compile_options(lumora_analysis PRIVATE ${LUMORA_WARNINGS} -fno-exceptions)

if(LUMORA_DEVELOPER_TOOLS)
  add_library(lumora_analysis_sanitized STATIC ${LUMORA_ANALYSIS_SOURCES})
  target_include_directories(lumora_analysis_sanitized PUBLIC src)
  target_compile_definitions(lumora_analysis_sanitized PRIVATE ${LUMORA_TIME64})
  target_compile_options(lumora_analysis_sanitized PUBLIC ${LUMORA_SANITIZERS} PRIVATE ${LUMORA_WARNINGS} -fno-exceptions)
  target_link_options(lumora_analysis_sanitized PUBLIC ${LUMORA_SANITIZERS})
endif()

if(LUMORA_TESTS)
  add_executable(analysis_test tests/magic_packet_test.cpp tests/log_text_test.cpp src/ui/log_text.cpp
    tests/base/mac_text_test.cpp tests/base/text_writer_test.cpp)
  target_link_libraries(analysis_test PRIVATE lumora_analysis${LUMORA_TEST_VARIANT} GTest::gtest_main)
  target_compile_options(analysis_test PRIVATE ${LUMORA_WARNINGS})
  add_test(NAME analysis_test COMMAND analysis_test)
endif()

if(LUMORA_DEVELOPER_TOOLS)
  add_executable(analysis_bench bench/magic_packet_bench.cpp)
  target_link_libraries(analysis_bench PRIVATE lumora_analysis benchmark::benchmark)
  target_compile_options(analysis_bench PRIVATE ${LUMORA_WARNINGS})
endif()

if(LUMORA_DEVELOPER_TOOLS AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_executable(analysis_fuzz fuzz/magic_packet_fuzz.cpp ${LUMORA_ANALYSIS_SOURCES})
  target_include_directories(analysis_fuzz PRIVATE src)
  target_compile_options(analysis_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all ${LUMORA_WARNINGS})
  target_link_options(analysis_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
endif()

# The Linux command-line tool and its tests.
include(cmake/linux.cmake OPTIONAL)

# lumora --merge's engine, with its tests.
include(cmake/merge.cmake)

if(CMAKE_CROSSCOMPILING)
  include(cmake/foreign.cmake)
endif()
