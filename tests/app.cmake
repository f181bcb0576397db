# SPDX-License-Identifier: GPL-3.0-or-later
# The main window without its widgets: config.ini, the hint table, the single-instance
# lock, every handler through a recording view, and whole runs with Stop and close.
mailmend_test(app_tests
  ${CMAKE_CURRENT_LIST_DIR}/app_functions_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app_dialog_test.cpp)
