# SPDX-License-Identifier: GPL-3.0-or-later
# The search on real folders deeper than a path can name, with special files and a folder
# that cannot be listed; through the built mailmend-cli.
mailmend_test(search_depth_tests search_depth_test.cpp)
