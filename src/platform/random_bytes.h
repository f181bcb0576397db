// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace mailmend::platform {

// Fills `buffer` with `count` unpredictable bytes from the system. False when the system
// gave none; the buffer is then unchanged.
bool randomBytes(void* buffer, std::size_t count);

} // namespace mailmend::platform
