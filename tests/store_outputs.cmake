# SPDX-License-Identifier: GPL-3.0-or-later
# Whole runs of the store outputs (PST, MSG, RTF), read back by the peer readers.
mailmend_test(store_outputs_tests
  ${CMAKE_CURRENT_LIST_DIR}/store_outputs_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/msgrtf_peer.cpp)
target_compile_definitions(store_outputs_tests PRIVATE
  MSGRTF_PEER_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/support/peer_check.py")
target_include_directories(store_outputs_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
