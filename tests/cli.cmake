# SPDX-License-Identifier: GPL-3.0-or-later
# mailmend-cli: the program run end to end (output trees, messages, exit statuses,
# signals, the terminal display), its console view and summary lines, and the output
# root it makes.
mailmend_test(cli_tests
  ${CMAKE_CURRENT_LIST_DIR}/cli_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_console_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_output_root_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_hostile_test.cpp)
