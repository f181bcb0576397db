# SPDX-License-Identifier: GPL-3.0-or-later
# Whole runs of every output form with the k-th file operation of each kind failing.
mailmend_test(file_faults_tests ${CMAKE_CURRENT_LIST_DIR}/file_faults_test.cpp)
