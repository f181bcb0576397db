// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/mail_file_time.h"

#include <algorithm>
#include <string_view>

#include "dbx/mail_header_fields.h"
#include "platform/file_times.h"

namespace mailmend::dbx {
namespace {

// A header block longer than this is cut: the Date is near the top of any real mail.
constexpr std::size_t kHeadLimit = 64 * 1024;
// 9999-12-31 23:59:59 UTC; a later "date" is damage, not a time a file manager can show.
constexpr std::int64_t kLatestDate = 253402300799;

} // namespace

void MailHeadCapture::add(const unsigned char* data, std::size_t count)
{
    if (m_whole)
        return;
    // The blank line may straddle two pieces: look again from two bytes back.
    const std::size_t from = m_head.size() < 2 ? 0 : m_head.size() - 2;
    m_head.append(reinterpret_cast<const char*>(data), std::min(count, kHeadLimit - m_head.size()));
    const std::string_view head = m_head;
    const std::size_t blank = std::min(head.find("\n\n", from), head.find("\n\r\n", from));
    if (blank != std::string_view::npos) {
        m_head.resize(blank + 1);
        m_whole = true;
    }
    m_whole = m_whole || m_head.size() >= kHeadLimit;
}

std::optional<std::int64_t> MailHeadCapture::date() const
{
    const std::optional<std::int64_t> date = readMailHeaderFields(m_head).date;
    if (!date || *date < 0 || *date > kLatestDate)
        return std::nullopt;
    return date;
}

void stampMailFile(const std::filesystem::path& path, const MailHeadCapture& head,
                   const MailFileTimes& times)
{
    if (times.enabled)
        platform::setFileTimes(path, head.date().value_or(times.undated));
}

} // namespace mailmend::dbx
