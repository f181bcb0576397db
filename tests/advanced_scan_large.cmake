# SPDX-License-Identifier: GPL-3.0-or-later
# The Advanced Scan past 2 GiB, over a made-up mapping.
mailmend_test(advanced_scan_large_tests ${CMAKE_CURRENT_LIST_DIR}/advanced_scan_large_test.cpp)
