# SPDX-License-Identifier: GPL-3.0-or-later
# Chain linking: hand-built tables, the linker against the plain list procedure on random
# tables, and a large shuffled folder.
mailmend_test(dbx_linking_test dbx_linking_test.cpp)
