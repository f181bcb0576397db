# SPDX-License-Identifier: GPL-3.0-or-later
# The Advanced Scan: the plain procedure of the test support library on hand-made
# inputs, the extractor against it on built, random and real files, and the extractor's
# progress, stops and faults.
mailmend_test(advanced_scan_tests
  ${CMAKE_CURRENT_LIST_DIR}/advanced_scan_oracle_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/advanced_scan_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/advanced_scan_random_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/advanced_scan_large_test.cpp)

