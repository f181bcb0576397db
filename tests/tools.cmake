# SPDX-License-Identifier: GPL-3.0-or-later
# Makes samples/damaged-inbox.dbx: build/<preset>/bin/make-sample samples/damaged-inbox.dbx
add_executable(make-sample tools/make_sample.cpp)
target_link_libraries(make-sample PRIVATE mailmend_test_support)
