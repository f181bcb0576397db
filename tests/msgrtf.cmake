# SPDX-License-Identifier: GPL-3.0-or-later
# The .msg and .rtf writers and the safe attachment names; the written files are read
# back by the peer readers (olefile, msgconvert, unrtf) through support/peer_check.py.
mailmend_test(msgrtf_tests
  ${CMAKE_CURRENT_LIST_DIR}/msgrtf_peer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/attachment_names_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/msg_writer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rtf_writer_test.cpp)
target_compile_definitions(msgrtf_tests PRIVATE
  MSGRTF_PEER_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/support/peer_check.py")
