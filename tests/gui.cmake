# SPDX-License-Identifier: GPL-3.0-or-later
# The desktop program's windows on the offscreen platform.
if(TARGET mailmend_gui_lib)
  mailmend_test(gui_tests ${CMAKE_CURRENT_LIST_DIR}/gui_main_window_test.cpp)
  target_link_libraries(gui_tests PRIVATE mailmend_gui_lib Qt6::Test)
  target_compile_definitions(gui_tests PRIVATE
    MAILMEND_SCREENSHOTS="${CMAKE_BINARY_DIR}/screenshots")
endif()
