# SPDX-License-Identifier: GPL-3.0-or-later
# The reader's memory on the densest block layouts (this program counts its allocations).
mailmend_test(dbx_memory_test dbx_memory_test.cpp)
