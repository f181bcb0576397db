# SPDX-License-Identifier: GPL-3.0-or-later
mailmend_test(search_tests search_test.cpp search_listing_test.cpp)
