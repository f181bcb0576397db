# SPDX-License-Identifier: GPL-3.0-or-later
mailmend_test(log_tests log_test.cpp)
