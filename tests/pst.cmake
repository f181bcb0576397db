# SPDX-License-Identifier: GPL-3.0-or-later
# The PST writer: stores read back by readpst, pffexport and pypff.
mailmend_test(pst_tests
  ${CMAKE_CURRENT_LIST_DIR}/pst_writer_test.cpp)
