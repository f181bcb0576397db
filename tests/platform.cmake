# SPDX-License-Identifier: GPL-3.0-or-later
mailmend_test(platform_tests
  ${CMAKE_CURRENT_LIST_DIR}/read_window_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mapped_file_test.cpp)
