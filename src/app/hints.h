// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <limits>
#include <string>
#include <string_view>

// The hint line at the bottom of the main window: one line of help for the region under
// the mouse.
namespace mailmend::app {

// A rectangle of the client area in pixels, bounds included.
struct HintRegion {
    int left;
    int top;
    int right;
    int bottom;

    constexpr bool contains(int x, int y) const
    {
        return x >= left && x <= right && y >= top && y <= bottom;
    }
};

inline constexpr const char* kReadyHint = " Ready";
// The banner hint: the product name and 41 spaces (where a web address could follow).
inline constexpr const char* kBannerHint = " Mailmend                                         ";
inline constexpr const char* kRecoverHint = " Click Recover button to recover files.";
inline constexpr const char* kStopHint = " Click Stop button to stop recovery.";

struct HintRule {
    HintRegion region;
    const char* hint; // null: the Recover button's, which follows its caption
};

// The rules in the order they are tried; the first region that holds the point wins,
// and a point in none of them gets kReadyHint. The bounds are the window's layout at its
// designed size and are not scaled when the window is laid out otherwise. The menu rule
// has no lower-left corner: every x from 2 on with y at most 1.
inline constexpr std::array<HintRule, 8> kHintRules {{
    {{2, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), 1}, " Select Menu"},
    {{3, 3, 591, 86}, kBannerHint},
    {{390, 105, 484, 137}, " Click Add button to select a file."},
    {{484, 105, 579, 137}, " Click Search button to search file on disk."},
    {{12, 140, 579, 279}, " Recover file list."},
    {{473, 280, 579, 310}, " Click Browse button to specify destination."},
    {{16, 320, 579, 399}, " Select the output file format."},
    {{475, 486, 579, 514}, nullptr},
}};

// The hint for the point (x, y) of the client area while the Recover button reads
// `recoverCaption`: over the button, the Recover hint for "&Recover", the Stop hint for
// "&Stop" and kReadyHint for anything else.
std::string hintAt(int x, int y, std::string_view recoverCaption);

} // namespace mailmend::app
