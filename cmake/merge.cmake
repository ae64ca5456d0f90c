# lumora --merge's engine in its own portable room, read with simdjson
# (Debian's libsimdjson-dev), its tests under the sanitizers, its fuzzer,
# and the benchmark's journal writer.
find_package(simdjson REQUIRED)

set(LUMORA_MERGE_SOURCES src/merge/attempts.cpp src/merge/forms.cpp src/merge/record.cpp src/merge/verdict.cpp)

# Built without exceptions, as lumora is: simdjson then offers its error codes only.
function(lumora_merge_library name analysis)
  add_library(${name} STATIC ${LUMORA_MERGE_SOURCES})
  target_include_directories(${name} PUBLIC src)
  target_link_libraries(${name} PUBLIC simdjson::simdjson ${analysis})
  target_compile_definitions(${name} PRIVATE SIMDJSON_EXCEPTIONS=0 ${LUMORA_TIME64})
  target_compile_options(${name} PRIVATE ${LUMORA_WARNINGS} -fno-exceptions)
endfunction()

lumora_merge_library(lumora_merge lumora_analysis)
if(LUMORA_DEVELOPER_TOOLS)
  lumora_merge_library(lumora_merge_sanitized lumora_analysis_sanitized)
  target_compile_options(lumora_merge_sanitized PUBLIC ${LUMORA_SANITIZERS})
  target_link_options(lumora_merge_sanitized PUBLIC ${LUMORA_SANITIZERS})
endif()
if(NOT LUMORA_TESTS)
  return()
endif()

# Through the command that drives it, as a user runs it.
add_executable(merge_test tests/linux/merge_test.cpp src/linux/program/merge_command.cpp
  src/linux/capture/output.cpp src/linux/capture/diagnostics.cpp src/linux/capture/stop_signals.cpp)
target_include_directories(merge_test PRIVATE res)
target_link_libraries(merge_test PRIVATE lumora_merge${LUMORA_TEST_VARIANT} lumora_records${LUMORA_TEST_VARIANT} GTest::gtest_main
  ${LUMORA_PCAP_LIBRARY})
target_compile_definitions(merge_test PRIVATE SIMDJSON_EXCEPTIONS=0)
target_compile_options(merge_test PRIVATE ${LUMORA_WARNINGS})
add_test(NAME merge_test COMMAND merge_test)

if(NOT LUMORA_DEVELOPER_TOOLS)
  return()
endif()
add_executable(merge_journal_writer bench/merge_journal_writer.cpp)
target_compile_options(merge_journal_writer PRIVATE ${LUMORA_WARNINGS})

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # The line reader and the grouping on arbitrary lines: a short run on every test pass.
  add_executable(merge_fuzz fuzz/merge_fuzz.cpp ${LUMORA_MERGE_SOURCES} ${LUMORA_BASE_SOURCES})
  target_include_directories(merge_fuzz PRIVATE src)
  target_link_libraries(merge_fuzz PRIVATE simdjson::simdjson)
  target_compile_definitions(merge_fuzz PRIVATE SIMDJSON_EXCEPTIONS=0)
  target_compile_options(merge_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
    ${LUMORA_WARNINGS} -fno-exceptions)
  target_link_options(merge_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  add_test(NAME merge_fuzz COMMAND merge_fuzz -runs=200000 -max_total_time=30 -max_len=4096)
endif()
