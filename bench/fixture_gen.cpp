// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-bench-fixture: writes a large synthetic .dbx mail folder for the benchmarks.
//
// Every mail is a chain of 528-byte blocks (16-byte header, 512-byte data area). The
// mail texts are assembled from a header written for each mail and slices of two
// pre-built pools (wrapped prose and base64 lines), so a mail's bytes can be produced
// for any block in any order without keeping the whole folder in memory. The file is
// built in large buffers and written with plain write() calls.
//
// The output depends only on the options: the same seed gives the same bytes.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t kHeaderSize = 16;
constexpr std::uint32_t kDataSize = 512;
constexpr std::uint32_t kBlockSize = kHeaderSize + kDataSize;
// Where a real folder's first data block lies; the file header and index area lie below.
constexpr std::uint32_t kFirstBlockAt = 60116;
constexpr std::uint32_t kFileHeaderSize = 0x24BC;
constexpr std::size_t kTextPoolSize = std::size_t {8} << 20;
constexpr std::size_t kBase64PoolSize = std::size_t {8} << 20;
constexpr std::size_t kWriteBufferSize = std::size_t {64} << 20;
constexpr std::uint32_t kLargestGap = 4000;

// xoshiro256** seeded through splitmix64.
class Rng {
public:
    explicit Rng(std::uint64_t seed)
    {
        for (auto& s : m_s) {
            seed += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            s = z ^ (z >> 31);
        }
    }

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(m_s[1] * 5, 7) * 9;
        const std::uint64_t t = m_s[1] << 17;
        m_s[2] ^= m_s[0];
        m_s[3] ^= m_s[1];
        m_s[1] ^= m_s[2];
        m_s[0] ^= m_s[3];
        m_s[2] ^= t;
        m_s[3] = rotl(m_s[3], 45);
        return result;
    }

    // Uniform in [0, n); the modulo bias is irrelevant here.
    std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : next() % n; }
    std::uint64_t between(std::uint64_t lo, std::uint64_t hi) { return lo + below(hi - lo + 1); }
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    // Many small values, a few large ones.
    std::uint64_t logUniform(std::uint64_t lo, std::uint64_t hi)
    {
        const double v = static_cast<double>(lo)
            * std::exp(unit() * std::log(static_cast<double>(hi) / static_cast<double>(lo)));
        return std::clamp(static_cast<std::uint64_t>(v), lo, hi);
    }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N])
    {
        return items[below(N)];
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t m_s[4] {};
};

const char* const kWords[] = {
    "the", "of", "and", "to", "in", "a", "is", "that", "for", "it", "as", "was", "with", "be",
    "by", "on", "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have",
    "an", "had", "they", "you", "were", "their", "one", "all", "we", "can", "her", "has",
    "there", "been", "if", "more", "when", "will", "would", "who", "so", "no", "meeting",
    "report", "project", "budget", "schedule", "attached", "please", "thanks", "regards",
    "tomorrow", "office", "review", "draft", "version", "customer", "invoice", "order",
    "shipment", "delivery", "account", "password", "server", "network", "printer", "backup",
    "holiday", "weekend", "family", "photos", "birthday", "dinner", "lunch", "coffee",
    "question", "answer", "problem", "solution", "update", "change", "request", "proposal",
    "contract", "agreement", "deadline", "quarter", "results", "figures", "numbers", "table",
    "document", "spreadsheet", "presentation", "slides", "notes", "minutes", "agenda",
    "conference", "travel", "flight", "hotel", "booking", "confirmation", "reference",
    "details", "information", "address", "phone", "number", "contact", "support", "service",
    "team", "department", "manager", "director", "colleague", "friend", "everyone", "somebody",
    "really", "probably", "perhaps", "certainly", "already", "still", "again", "soon", "later",
    "today", "yesterday", "morning", "afternoon", "evening", "week", "month", "year", "time",
    "good", "great", "small", "large", "new", "old", "first", "last", "next", "other", "same",
    "different", "important", "possible", "available", "necessary", "interesting", "simple",
    "send", "sent", "receive", "received", "forward", "reply", "call", "write", "read", "check",
    "think", "know", "see", "look", "find", "give", "take", "make", "come", "go", "want", "need",
    "garden", "weather", "rain", "sunshine", "school", "children", "football", "music",
    "concert", "tickets", "library", "computer", "software", "install", "upgrade", "modem",
};

const char* const kFirstNames[] = {
    "Anna", "Bernd", "Carla", "David", "Elena", "Frank", "Greta", "Hans", "Irene", "Jonas",
    "Karin", "Lukas", "Maria", "Nils", "Olga", "Peter", "Rita", "Stefan", "Tanja", "Uwe",
    "Vera", "Walter", "Yvonne", "Zoltan", "Alice", "Bob", "Claire", "Dennis", "Emma", "George",
};
const char* const kLastNames[] = {
    "Adams", "Baker", "Clark", "Dietrich", "Evans", "Fischer", "Garcia", "Hoffmann", "Ivanova",
    "Jansen", "Keller", "Lambert", "Meyer", "Novak", "Olsen", "Petersen", "Quinn", "Richter",
    "Schmidt", "Turner", "Ulrich", "Vogel", "Weber", "Young", "Zimmermann", "Moreau", "Rossi",
};
const char* const kDomains[] = {
    "example.com", "example.net", "example.org", "mail.example.com", "post.example.net",
    "office.example.org", "isp.test", "university.test", "club.test", "shop.test",
};
const char* const kCharsets[] = {"iso-8859-1", "us-ascii", "windows-1252", "iso-8859-15"};
const char* const kMailers[] = {
    "Produced By Microsoft MimeOLE V6.00.2900.2180", "Microsoft Outlook Express 6.00.2900.2180",
    "Microsoft Outlook Express 6.00.2800.1106", "Mozilla 4.79 [en] (Windows NT 5.0; U)",
};
const char* const kAttachments[] = {
    "report.pdf", "photos.zip", "budget.xls", "minutes.doc", "holiday.jpg", "slides.ppt",
    "scan0001.tif", "setup.exe", "backup.zip", "invoice.pdf", "letter.doc", "map.png",
};

void appendWord(std::string& out, Rng& rng, bool capital)
{
    const char* w = rng.pick(kWords);
    const std::size_t at = out.size();
    out += w;
    if (capital)
        out[at] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[at])));
}

// Paragraphs of prose wrapped at 72 columns with CR LF line ends; some are quoted replies.
std::string makeTextPool(Rng& rng, std::size_t size)
{
    std::string pool;
    pool.reserve(size + 4096);
    std::string paragraph;
    std::string line;
    while (pool.size() < size) {
        paragraph.clear();
        const auto sentences = rng.between(1, 7);
        for (std::uint64_t s = 0; s < sentences; ++s) {
            const auto words = rng.between(4, 22);
            for (std::uint64_t w = 0; w < words; ++w) {
                if (w != 0 || s != 0)
                    paragraph += ' ';
                appendWord(paragraph, rng, w == 0);
                if (w + 1 < words && rng.chance(0.06))
                    paragraph += ',';
            }
            paragraph += rng.chance(0.1) ? '?' : '.';
        }
        const std::string_view prefix = rng.chance(0.15) ? "> " : "";
        std::size_t start = 0;
        while (start < paragraph.size()) {
            std::size_t end = std::min(paragraph.size(), start + 72 - prefix.size());
            if (end < paragraph.size()) {
                const std::size_t space = paragraph.rfind(' ', end);
                if (space != std::string::npos && space > start)
                    end = space;
            }
            pool += prefix;
            pool.append(paragraph, start, end - start);
            pool += "\r\n";
            start = end;
            while (start < paragraph.size() && paragraph[start] == ' ')
                ++start;
        }
        pool += "\r\n";
    }
    return pool;
}

// Lines of 76 base64 characters, as an encoded attachment looks.
std::string makeBase64Pool(Rng& rng, std::size_t size)
{
    static const char kAlphabet[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string pool;
    pool.reserve(size + 128);
    while (pool.size() < size) {
        std::uint64_t bits = 0;
        int left = 0;
        for (int i = 0; i < 76; ++i) {
            if (left < 6) {
                bits = rng.next();
                left = 64;
            }
            pool += kAlphabet[bits & 63];
            bits >>= 6;
            left -= 6;
        }
        pool += "\r\n";
    }
    return pool;
}

// A piece of a mail: bytes of the arena (per-mail header texts) or of a pool.
enum class Source : std::uint8_t { Arena, Text, Base64 };
struct Segment {
    Source source;
    std::uint32_t length;
    std::uint64_t offset;
};

struct Mail {
    std::uint32_t firstSegment;
    std::uint32_t segmentCount;
    std::uint64_t length;
    std::uint32_t firstBlock;
    std::uint32_t blockCount;
};

class MailCorpus {
public:
    explicit MailCorpus(std::uint64_t seed)
        : m_rng(seed), m_text(makeTextPool(m_rng, kTextPoolSize)),
          m_base64(makeBase64Pool(m_rng, kBase64PoolSize)), m_time(1041379200) // 2003-01-01
    {
    }

    const std::vector<Mail>& mails() const { return m_mails; }
    std::uint64_t totalBytes() const { return m_totalBytes; }

    // Composes the next mail and returns its length.
    const Mail& addMail(std::uint32_t firstBlock)
    {
        Mail mail {};
        mail.firstSegment = static_cast<std::uint32_t>(m_segments.size());
        m_time += static_cast<std::int64_t>(m_rng.between(60, 4 * 3600));
        const std::uint64_t number = m_mails.size() + 1;

        // Sizes: most mails are a few KiB of text; one in six carries a base64 attachment,
        // from a small picture to more than a MiB.
        const bool attachment = m_rng.chance(1.0 / 6.0);
        const std::uint64_t textLength = attachment ? m_rng.logUniform(200, 6000)
                                                    : m_rng.logUniform(300, 40000);
        const std::uint64_t base64Length = attachment ? m_rng.logUniform(8000, 1300000) : 0;

        std::string& a = m_scratch;
        a.clear();
        writeHeaders(a, number, attachment);
        char boundary[64];
        std::snprintf(boundary, sizeof boundary, "----=_NextPart_000_%04X_%08X.%08X",
                      static_cast<unsigned>(number & 0xFFFF),
                      static_cast<unsigned>(m_rng.next() & 0xFFFFFFFF),
                      static_cast<unsigned>(m_rng.next() & 0xFFFFFFFF));
        if (attachment) {
            a += "Content-Type: multipart/mixed;\r\n\tboundary=\"";
            a += boundary;
            a += "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n--";
            a += boundary;
            a += "\r\nContent-Type: text/plain;\r\n\tcharset=\"";
            a += m_rng.pick(kCharsets);
            a += "\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
        } else {
            a += "Content-Type: text/plain;\r\n\tcharset=\"";
            a += m_rng.pick(kCharsets);
            a += "\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
        }
        addArena(a);
        addSlice(Source::Text, textLength);
        if (attachment) {
            const char* name = m_rng.pick(kAttachments);
            a.clear();
            a += "\r\n--";
            a += boundary;
            a += "\r\nContent-Type: application/octet-stream;\r\n\tname=\"";
            a += name;
            a += "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
                 "\tfilename=\"";
            a += name;
            a += "\"\r\n\r\n";
            addArena(a);
            addSlice(Source::Base64, base64Length);
            a.clear();
            a += "\r\n--";
            a += boundary;
            a += "--\r\n\r\n";
            addArena(a);
        }

        mail.segmentCount = static_cast<std::uint32_t>(m_segments.size()) - mail.firstSegment;
        for (std::uint32_t s = 0; s < mail.segmentCount; ++s)
            mail.length += m_segments[mail.firstSegment + s].length;
        mail.firstBlock = firstBlock;
        mail.blockCount = static_cast<std::uint32_t>((mail.length + kDataSize - 1) / kDataSize);
        m_totalBytes += mail.length;
        m_mails.push_back(mail);
        return m_mails.back();
    }

    // Copies `count` bytes of `mail` starting at byte `from` to `out`.
    void copy(const Mail& mail, std::uint64_t from, std::size_t count, char* out) const
    {
        std::uint64_t segmentStart = 0;
        for (std::uint32_t s = 0; s < mail.segmentCount && count > 0; ++s) {
            const Segment& seg = m_segments[mail.firstSegment + s];
            const std::uint64_t segmentEnd = segmentStart + seg.length;
            if (from < segmentEnd) {
                const std::uint64_t inside = from - segmentStart;
                const std::size_t n
                    = static_cast<std::size_t>(std::min<std::uint64_t>(count, seg.length - inside));
                std::memcpy(out, bytesOf(seg) + inside, n);
                out += n;
                from += n;
                count -= n;
            }
            segmentStart = segmentEnd;
        }
    }

private:
    const char* bytesOf(const Segment& seg) const
    {
        switch (seg.source) {
        case Source::Arena: return m_arena.data() + seg.offset;
        case Source::Text: return m_text.data() + seg.offset;
        case Source::Base64: return m_base64.data() + seg.offset;
        }
        return nullptr;
    }

    void addArena(const std::string& text)
    {
        m_segments.push_back({Source::Arena, static_cast<std::uint32_t>(text.size()), m_arena.size()});
        m_arena += text;
    }

    // A run of whole lines of a pool, about `length` bytes long.
    void addSlice(Source source, std::uint64_t length)
    {
        const std::string& pool = source == Source::Text ? m_text : m_base64;
        length = std::min<std::uint64_t>(length, pool.size() / 2);
        std::size_t start = static_cast<std::size_t>(m_rng.below(pool.size() - length));
        const std::size_t lineStart = pool.find("\r\n", start);
        start = lineStart + 2;
        std::size_t end = pool.find("\r\n", start + length);
        end = end == std::string::npos ? pool.size() : end + 2;
        m_segments.push_back({source, static_cast<std::uint32_t>(end - start), start});
    }

    void person(std::string& out)
    {
        const char* first = m_rng.pick(kFirstNames);
        const char* last = m_rng.pick(kLastNames);
        out += '"';
        out += first;
        out += ' ';
        out += last;
        out += "\" <";
        for (const char* p = first; *p; ++p)
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        out += '.';
        for (const char* p = last; *p; ++p)
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        out += '@';
        out += m_rng.pick(kDomains);
        out += '>';
    }

    std::string date(std::int64_t t)
    {
        const std::time_t when = static_cast<std::time_t>(t);
        std::tm tm {};
        gmtime_r(&when, &tm);
        char text[64];
        std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &tm);
        return text;
    }

    void writeHeaders(std::string& a, std::uint64_t number, bool attachment)
    {
        char line[256];
        a += "Return-Path: <bounces@";
        a += m_rng.pick(kDomains);
        a += ">\r\n";
        const auto hops = m_rng.between(1, 3);
        for (std::uint64_t h = 0; h < hops; ++h) {
            std::snprintf(line, sizeof line,
                          "Received: from relay%u.%s (%s.%u)\r\n\tby mx%u.%s with SMTP id "
                          "%08X;\r\n\t%s\r\n",
                          static_cast<unsigned>(m_rng.below(9)), m_rng.pick(kDomains),
                          m_rng.chance(0.5) ? "192.0.2" : "198.51.100",
                          static_cast<unsigned>(m_rng.between(1, 254)),
                          static_cast<unsigned>(m_rng.below(9)), m_rng.pick(kDomains),
                          static_cast<unsigned>(m_rng.next() & 0xFFFFFFFF),
                          date(m_time - static_cast<std::int64_t>(h)).c_str());
            a += line;
        }
        a += "From: ";
        person(a);
        a += "\r\nTo: ";
        person(a);
        if (m_rng.chance(0.3)) {
            a += "\r\nCc: ";
            person(a);
            a += ", ";
            person(a);
        }
        a += "\r\nSubject: ";
        const auto kind = m_rng.below(10);
        if (kind < 3)
            a += "Re: ";
        else if (kind == 3)
            a += "Fwd: ";
        const auto words = m_rng.between(2, 8);
        for (std::uint64_t w = 0; w < words; ++w) {
            if (w)
                a += ' ';
            appendWord(a, m_rng, w == 0);
        }
        if (attachment)
            a += " (attached)";
        a += "\r\nDate: ";
        a += date(m_time);
        std::snprintf(line, sizeof line, "\r\nMessage-ID: <%012llX.%06llu@%s>\r\n",
                      static_cast<unsigned long long>(m_rng.next() >> 16),
                      static_cast<unsigned long long>(number), m_rng.pick(kDomains));
        a += line;
        a += "MIME-Version: 1.0\r\nX-Priority: 3\r\nX-Mailer: ";
        a += m_rng.pick(kMailers);
        a += "\r\n";
    }

    Rng m_rng;
    std::string m_text;
    std::string m_base64;
    std::string m_arena;
    std::string m_scratch;
    std::vector<Segment> m_segments;
    std::vector<Mail> m_mails;
    std::uint64_t m_totalBytes = 0;
    std::int64_t m_time;
};

// Collects output in a large buffer and hands it to write() when full.
class BufferedWriter {
public:
    explicit BufferedWriter(int fd) : m_fd(fd), m_buffer(kWriteBufferSize) {}

    // Room for `count` more bytes, flushing first when needed.
    char* reserve(std::size_t count)
    {
        if (m_used + count > m_buffer.size())
            flush();
        return m_buffer.data() + m_used;
    }
    void commit(std::size_t count)
    {
        m_used += count;
        m_position += count;
    }
    std::uint64_t position() const { return m_position; }

    bool flush()
    {
        std::size_t done = 0;
        while (done < m_used) {
            const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_used - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_failed = true;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        m_used = 0;
        return !m_failed;
    }
    bool failed() const { return m_failed; }

private:
    int m_fd;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    std::uint64_t m_position = 0;
    bool m_failed = false;
};

void putLe32(char* p, std::uint32_t v)
{
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>((v >> 8) & 0xFF);
    p[2] = static_cast<char>((v >> 16) & 0xFF);
    p[3] = static_cast<char>((v >> 24) & 0xFF);
}

bool parseCount(const char* text, std::uint64_t& value)
{
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || v < 0)
        return false;
    double scale = 1;
    switch (*end) {
    case '\0': break;
    case 'k': case 'K': scale = 1024.0; ++end; break;
    case 'm': case 'M': scale = 1024.0 * 1024; ++end; break;
    case 'g': case 'G': scale = 1024.0 * 1024 * 1024; ++end; break;
    default: return false;
    }
    if (*end != '\0')
        return false;
    value = static_cast<std::uint64_t>(v * scale);
    return true;
}

int usage(const char* program)
{
    std::fprintf(stderr,
                 "Usage: %s [--size BYTES | --blocks N] [--shuffle] [--seed N] OUT.dbx\n"
                 "Writes a synthetic .dbx mail folder and OUT.dbx.info describing it.\n"
                 "  --size BYTES  stop before the file grows past BYTES (suffix K, M, G)\n"
                 "  --blocks N    stop once the mails use N blocks\n"
                 "  --shuffle     place the blocks of all mails in random order\n"
                 "  --seed N      random seed (default 1)\n",
                 program);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::uint64_t sizeLimit = 0;
    std::uint64_t blockLimit = 0;
    std::uint64_t seed = 1;
    bool shuffle = false;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--size" && hasValue) {
            if (!parseCount(argv[++i], sizeLimit))
                return usage(argv[0]);
        } else if (arg == "--blocks" && hasValue) {
            if (!parseCount(argv[++i], blockLimit))
                return usage(argv[0]);
        } else if (arg == "--seed" && hasValue) {
            if (!parseCount(argv[++i], seed))
                return usage(argv[0]);
        } else if (arg == "--shuffle") {
            shuffle = true;
        } else if (!arg.empty() && arg[0] != '-' && out.empty()) {
            out = argv[i];
        } else {
            return usage(argv[0]);
        }
    }
    if (out.empty() || (sizeLimit == 0 && blockLimit == 0))
        return usage(argv[0]);
    if (sizeLimit == 0 || sizeLimit > (std::uint64_t {1} << 32) - 1)
        sizeLimit = (std::uint64_t {1} << 32) - 1; // block offsets are 32-bit

    const auto started = std::chrono::steady_clock::now();

    // Compose the mails and lay out the block positions ("slots"). Some mails are preceded
    // by a run of other bytes, as index nodes and freed space lie between mails in a real
    // folder; the gap belongs to the slot, so it stays put when the blocks are shuffled.
    // Positions stay multiples of four, as in the folders the mail program wrote.
    MailCorpus corpus(seed);
    Rng layoutRng(seed ^ 0x5EEDF00Dull);
    std::vector<std::uint32_t> slotOffset;
    std::vector<std::uint16_t> gapBefore;
    std::vector<std::uint32_t> mailOfBlock;
    std::uint64_t end = kFirstBlockAt;
    for (;;) {
        const auto firstBlock = static_cast<std::uint32_t>(mailOfBlock.size());
        if (blockLimit != 0 && firstBlock >= blockLimit)
            break;
        const Mail mail = corpus.addMail(firstBlock);
        const std::uint32_t gap
            = layoutRng.chance(1.0 / 16) ? 4 * static_cast<std::uint32_t>(layoutRng.between(4, kLargestGap / 4))
                                         : 0;
        const std::uint64_t mailEnd = end + gap + std::uint64_t {mail.blockCount} * kBlockSize;
        if (mailEnd > sizeLimit)
            break;
        for (std::uint32_t b = 0; b < mail.blockCount; ++b) {
            const std::uint32_t g = b == 0 ? gap : 0;
            end += g;
            slotOffset.push_back(static_cast<std::uint32_t>(end));
            gapBefore.push_back(static_cast<std::uint16_t>(g));
            mailOfBlock.push_back(static_cast<std::uint32_t>(corpus.mails().size() - 1));
            end += kBlockSize;
        }
    }
    const std::vector<Mail>& mails = corpus.mails();
    const std::size_t mailCount = mailOfBlock.empty() ? 0 : mailOfBlock.back() + 1;
    const std::size_t blockCount = mailOfBlock.size();
    std::uint64_t mailBytes = 0;
    for (std::size_t m = 0; m < mailCount; ++m)
        mailBytes += mails[m].length;

    // Block k of the whole sequence lies in slot slotOfBlock[k].
    std::vector<std::uint32_t> slotOfBlock(blockCount);
    for (std::size_t k = 0; k < blockCount; ++k)
        slotOfBlock[k] = static_cast<std::uint32_t>(k);
    if (shuffle) {
        Rng shuffleRng(seed ^ 0x5A1FF1Eull);
        for (std::size_t k = blockCount; k > 1; --k)
            std::swap(slotOfBlock[k - 1], slotOfBlock[shuffleRng.below(k)]);
    }
    std::vector<std::uint32_t> blockInSlot(blockCount);
    for (std::size_t k = 0; k < blockCount; ++k)
        blockInSlot[slotOfBlock[k]] = static_cast<std::uint32_t>(k);

    const std::string partial = out + ".part";
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "%s: cannot create %s: %s\n", argv[0], partial.c_str(),
                     std::strerror(errno));
        return 1;
    }
    BufferedWriter writer(fd);
    {
        char* p = writer.reserve(kFirstBlockAt);
        std::memset(p, 0, kFirstBlockAt);
        static const unsigned char kSignature[8] = {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F};
        std::memcpy(p, kSignature, sizeof kSignature);
        // Below the first block, past the file header: index-like binary noise.
        Rng noise(seed ^ 0x1DEAull);
        for (std::uint32_t i = kFileHeaderSize; i + 8 <= kFirstBlockAt; i += 8) {
            const std::uint64_t v = noise.next() & 0x00FF00FF00FF00FFull;
            std::memcpy(p + i, &v, 8);
        }
        writer.commit(kFirstBlockAt);
    }
    Rng gapRng(seed ^ 0x6A9ull);
    for (std::size_t s = 0; s < blockCount; ++s) {
        const std::uint32_t gap = gapBefore[s];
        char* p = writer.reserve(gap + kBlockSize);
        for (std::uint32_t i = 0; i < gap; i += 8) {
            const std::uint64_t v = gapRng.next();
            std::memcpy(p + i, &v, std::min<std::uint32_t>(8, gap - i));
        }
        p += gap;
        const std::uint32_t k = blockInSlot[s];
        const Mail& mail = mails[mailOfBlock[k]];
        const std::uint32_t part = k - mail.firstBlock;
        const std::uint64_t from = std::uint64_t {part} * kDataSize;
        const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(kDataSize, mail.length - from));
        const bool last = part + 1 == mail.blockCount;
        putLe32(p + 0, slotOffset[s]);
        putLe32(p + 4, kDataSize);
        putLe32(p + 8, length);
        putLe32(p + 12, last ? 0 : slotOffset[slotOfBlock[k + 1]]);
        corpus.copy(mail, from, length, p + kHeaderSize);
        if (length < kDataSize)
            std::memset(p + kHeaderSize + length, 0, kDataSize - length);
        writer.commit(gap + kBlockSize);
    }
    const bool written = writer.flush() && ::close(fd) == 0;
    if (!written || writer.position() != end) {
        std::fprintf(stderr, "%s: writing %s failed: %s\n", argv[0], partial.c_str(),
                     std::strerror(errno));
        ::unlink(partial.c_str());
        return 1;
    }
    std::error_code ec;
    std::filesystem::rename(partial, out, ec);
    if (ec) {
        std::fprintf(stderr, "%s: cannot rename %s: %s\n", argv[0], partial.c_str(),
                     ec.message().c_str());
        return 1;
    }

    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char params[160];
    std::snprintf(params, sizeof params, "size=%llu blocks=%llu shuffle=%d seed=%llu",
                  static_cast<unsigned long long>(sizeLimit),
                  static_cast<unsigned long long>(blockLimit), shuffle ? 1 : 0,
                  static_cast<unsigned long long>(seed));
    const std::string infoPath = out + ".info";
    if (std::FILE* info = std::fopen(infoPath.c_str(), "w")) {
        std::fprintf(info, "params=%s\nmails=%zu\nblocks=%zu\nfileSize=%llu\nmailBytes=%llu\n",
                     params, mailCount, blockCount, static_cast<unsigned long long>(end),
                     static_cast<unsigned long long>(mailBytes));
        std::fclose(info);
    }
    std::printf("%s: %zu mails, %zu blocks, %.1f MiB%s, written in %.1f s (%.0f MiB/s)\n",
                out.c_str(), mailCount, blockCount, static_cast<double>(end) / (1 << 20),
                shuffle ? ", shuffled" : "", seconds,
                static_cast<double>(end) / (1 << 20) / seconds);
    return 0;
}
