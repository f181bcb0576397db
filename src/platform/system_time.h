// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace mailmend::platform {

// The time now, in seconds since 1970-01-01 UTC: what a store writes as a save time.
std::int64_t secondsSinceEpoch();

} // namespace mailmend::platform
