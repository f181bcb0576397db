// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include "support/advanced_scan_oracle.h"

namespace mailmend::testing {

// The oracle's verdicts as test assertions.
inline ::testing::AssertionResult matchesOracle(const AdvancedScanRun& run, const ByteString& source)
{
    const std::string difference = oracleDifference(run, source);
    if (difference.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << difference;
}

inline ::testing::AssertionResult carveMatchesOracle(const AdvancedScanRun& run,
                                                     const ByteString& working)
{
    const std::string difference = carveOracleDifference(run, working);
    if (difference.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << difference;
}

} // namespace mailmend::testing
