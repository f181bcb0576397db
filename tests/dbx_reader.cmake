# SPDX-License-Identifier: GPL-3.0-or-later
# The .dbx reader: header verdicts, the block scan, DbxFile end to end on built fixtures.
mailmend_test(dbx_reader_tests
  ${CMAKE_CURRENT_LIST_DIR}/dbx_format_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dbx_scan_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dbx_file_test.cpp)

# The reader against real files (and undbx where installed).
mailmend_test(dbx_end_to_end_tests
  ${CMAKE_CURRENT_LIST_DIR}/dbx_real_files_test.cpp)
