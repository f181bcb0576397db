# SPDX-License-Identifier: GPL-3.0-or-later
mailmend_test(platform_tests read_window_test.cpp)
