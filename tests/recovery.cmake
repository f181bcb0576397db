# SPDX-License-Identifier: GPL-3.0-or-later
# The recovery job: naming and progress rules, whole runs over built .dbx files
# (output trees, log lines, window calls), and stopping a run anywhere.
mailmend_test(recovery_tests
  ${CMAKE_CURRENT_LIST_DIR}/recovery_rules_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recovery_job_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recovery_stop_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recovery_source_faults_test.cpp)
