// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/random_bytes.h"

#include <cerrno>
#include <cstring>
#include <sys/random.h>
#include <vector>

namespace mailmend::platform {

bool randomBytes(void* buffer, std::size_t count)
{
    std::vector<unsigned char> bytes(count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::getrandom(bytes.data() + done, count - done, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (count > 0)
        std::memcpy(buffer, bytes.data(), count);
    return true;
}

} // namespace mailmend::platform
