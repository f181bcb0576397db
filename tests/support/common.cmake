# SPDX-License-Identifier: GPL-3.0-or-later
# The test helpers that need no test framework: the fixture builder, the reference
# procedures, files and directory trees in memory. The tests and the fuzz targets both
# link them.
if(TARGET mailmend_test_common)
  return()
endif()

set(MAILMEND_TEST_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/advanced_scan_oracle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dbx_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fake_lister.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_linker_oracle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mail_samples.cpp
  ${CMAKE_CURRENT_LIST_DIR}/memory_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/real_corpus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recording.cpp
  ${CMAKE_CURRENT_LIST_DIR}/temp_dir.cpp)

add_library(mailmend_test_common STATIC ${MAILMEND_TEST_COMMON_SOURCES})
target_link_libraries(mailmend_test_common PUBLIC mailmend_core)
target_include_directories(mailmend_test_common PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)

# Where the real-world .dbx files lie; whatever needs them does without when it is absent.
get_filename_component(MAILMEND_REAL_CORPUS "${PROJECT_SOURCE_DIR}/../shared/corpus/real" ABSOLUTE)
target_compile_definitions(mailmend_test_common PUBLIC
  MAILMEND_REAL_CORPUS="${MAILMEND_REAL_CORPUS}")

# The plain Advanced Scan looks at every byte of thousands of inputs, several texts at each;
# unoptimised it would take most of a Debug or sanitizer run.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/advanced_scan_oracle.cpp
    PROPERTIES COMPILE_OPTIONS "-O2")
endif()
