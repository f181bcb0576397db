# SPDX-License-Identifier: GPL-3.0-or-later
# The folder-file writer and the OE store, checked with undbx where it is installed.
mailmend_test(oestore_tests
  ${CMAKE_CURRENT_LIST_DIR}/oestore_writer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oestore_store_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oestore_existing_files_test.cpp)
