# SPDX-License-Identifier: GPL-3.0-or-later
# The Search Files and Save As dialogs as Qt widgets, driven with QtTest on the offscreen
# platform; pictures of both are written to screenshots/ in the build folder.
if(TARGET mailmend_gui_lib)
  add_executable(gui_dialogs_test ${CMAKE_CURRENT_LIST_DIR}/gui_dialogs_test.cpp)
  target_link_libraries(gui_dialogs_test PRIVATE mailmend_gui_lib Qt6::Test)
  set_target_properties(gui_dialogs_test PROPERTIES AUTOMOC ON)
  target_compile_definitions(gui_dialogs_test PRIVATE
    MAILMEND_SCREENSHOTS="${CMAKE_BINARY_DIR}/screenshots")
  add_test(NAME gui_dialogs COMMAND gui_dialogs_test)
  set_tests_properties(gui_dialogs PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 300)
endif()
