// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/read_window.h"

#include <algorithm>
#include <cstring>

namespace mailmend::platform {

std::size_t ReadWindow::readAt(std::uint64_t position, void* buffer, std::size_t count)
{
    const bool inside = position >= m_start && position - m_start + count <= m_valid;
    if (!inside) {
        if (count > kLargest)
            return m_file.readAt(position, buffer, count);
        // Adapt the window to how well the last one was used.
        if (m_hits <= 1)
            m_size = std::max(kSmallest, m_size / 2);
        else if (m_hits >= 8)
            m_size = std::min(kLargest, m_size * 2);
        m_size = std::max(m_size, count);
        m_data.resize(m_size);
        m_start = position;
        m_valid = m_file.readAt(position, m_data.data(), m_size);
        m_hits = 0;
        if (m_valid < count) { // the file ends (or fails) inside the request
            std::memcpy(buffer, m_data.data(), m_valid);
            return m_valid;
        }
    }
    ++m_hits;
    std::memcpy(buffer, m_data.data() + (position - m_start), count);
    return count;
}

} // namespace mailmend::platform
