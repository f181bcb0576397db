// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "log/log.h"

// What every fuzz target shares: a wrong result ends the run the way a crash does, a
// scratch folder for the files the product writes, and a reader of the input's fields.
namespace mailmend::fuzz {

// Prints "wrong result: <what>" and aborts, so that libFuzzer keeps the input.
[[noreturn]] void fail(const std::string& what);

// Fails with the parts of the message written one after another; they are put together
// only on failure, so checks cost nothing on the way.
template <typename... Parts>
void check(bool ok, const Parts&... parts)
{
    if (ok)
        return;
    std::ostringstream out;
    (out << ... << parts);
    fail(out.str());
}

// Where two byte strings part, as a message part.
struct Difference {
    std::string_view got;
    std::string_view want;
};
std::ostream& operator<<(std::ostream& out, const Difference& d);

// A folder of its own under the system's temporary directory for the whole run, removed
// at exit. Targets empty it after each input.
const std::filesystem::path& scratchFolder();
void emptyScratchFolder();
std::string readWholeFile(const std::filesystem::path& path);

// Takes message boxes and log lines without showing or keeping them; the product still
// formats every line, so those paths run too.
void silenceMessages();
LogWriter& discardingLog();

// Hands out the input's bytes as fields, front to back; past the end, zeros and empty
// texts.
class InputFields {
public:
    InputFields(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) { }

    std::uint8_t byte();
    bool flag() { return (byte() & 1) != 0; }
    // A number in [0, bound), bound > 0.
    std::size_t below(std::size_t bound);
    // Up to `longest` bytes: a length byte, then that many bytes.
    std::string text(std::size_t longest);
    // Everything not taken yet.
    std::string rest();
    bool empty() const { return m_at >= m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

} // namespace mailmend::fuzz
