# SPDX-License-Identifier: GPL-3.0-or-later
# The mail parser: sample mails against Python's email package, hostile mails, streaming.
mailmend_test(mime_tests
  ${CMAKE_CURRENT_LIST_DIR}/mime_parser_test.cpp)
