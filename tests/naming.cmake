# SPDX-License-Identifier: GPL-3.0-or-later
# Output-name customisation: the naming rules, the command line's naming options and the
# Save As dialog driven through a recording view.
mailmend_test(naming_tests
  ${CMAKE_CURRENT_LIST_DIR}/naming_rules_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/naming_dialog_test.cpp)
