# SPDX-License-Identifier: GPL-3.0-or-later
# Whole runs of every output form with the k-th file operation of each kind failing. The
# runs are made once per process and several tests check them, so CTest runs the program
# once, as one test, rather than once for each of its tests.
add_executable(file_faults_tests ${CMAKE_CURRENT_LIST_DIR}/file_faults_test.cpp)
target_link_libraries(file_faults_tests PRIVATE mailmend_test_support GTest::gtest_main)
add_test(NAME FileFaults COMMAND file_faults_tests)
set_tests_properties(FileFaults PROPERTIES TIMEOUT 600)
