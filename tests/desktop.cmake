# SPDX-License-Identifier: GPL-3.0-or-later
# What the system sees of the programs: the manual pages (rendered, and every option of
# the command line's page run), the shell completion, the desktop entry and file type,
# and the desktop program's own command line.
mailmend_test(desktop_integration_tests ${CMAKE_CURRENT_LIST_DIR}/desktop_integration_test.cpp)
add_dependencies(desktop_integration_tests mailmend-cli)
if(TARGET mailmend)
  add_dependencies(desktop_integration_tests mailmend)
  set(MAILMEND_GUI_PATH $<TARGET_FILE:mailmend>)
endif()
target_compile_definitions(desktop_integration_tests PRIVATE
  MAILMEND_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  MAILMEND_MAN_DIR="${CMAKE_BINARY_DIR}/man"
  MAILMEND_GUI_PATH="${MAILMEND_GUI_PATH}")
