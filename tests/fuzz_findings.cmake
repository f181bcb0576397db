# SPDX-License-Identifier: GPL-3.0-or-later
# Inputs the fuzz targets found that once went wrong, each pinned where it went wrong.
mailmend_test(fuzz_findings_tests ${CMAKE_CURRENT_LIST_DIR}/fuzz_findings_test.cpp)
