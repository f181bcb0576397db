# SPDX-License-Identifier: GPL-3.0-or-later
# Whole runs of the DBX and mbox outputs, read back by undbx, Python and formail.
mailmend_test(dbx_mbox_outputs_tests ${CMAKE_CURRENT_LIST_DIR}/dbx_mbox_outputs_test.cpp)
