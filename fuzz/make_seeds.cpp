// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the generated seed corpora: .dbx bytes from the fixture builder (laid out in
// order, shuffled, with garbage and fake markers, looped, cut short), the sample mails,
// and the real .dbx files when MAILMEND_REAL_CORPUS names their folder. The committed
// seeds in fuzz/corpus stay few and small; these are made afresh for each run.
//
// Use: mailmend-fuzz-seeds <output folder>; it makes reader/, advanced_scan/ and mail/
// inside it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/dbx_fixture.h"
#include "support/mail_samples.h"
#include "support/real_corpus.h"

namespace {

namespace fs = std::filesystem;
using namespace mailmend::testing;
using Bytes = std::vector<unsigned char>;

std::vector<std::string> someMails(int count, std::size_t size)
{
    std::vector<std::string> mails;
    for (int n = 1; n <= count; ++n)
        mails.push_back(mailText(n, size + static_cast<std::size_t>(n) * 97));
    return mails;
}

// The fixture without the empty first sector: block identities are values, not
// positions, so the blocks still link, and the reader's zero-padded run resolves links up
// to 128 KiB. Small seeds mutate faster.
Bytes compact(const DbxFixture& fixture)
{
    const Bytes& bytes = fixture.bytes();
    Bytes out(bytes.begin(), bytes.begin() + sizeof kMailFolderHeader);
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(kFirstBlockPosition),
               bytes.end());
    return out;
}

std::vector<Bytes> dbxSeeds()
{
    std::vector<Bytes> seeds;
    const auto add = [&](const DbxFixture& fixture) { seeds.push_back(compact(fixture)); };
    add(DbxFixture(someMails(3, 300)));
    add(DbxFixture(someMails(4, 900), {.order = Order::Shuffled, .seed = 3}));
    add(DbxFixture(
        someMails(3, 700),
        {.order = Order::Reversed, .maxGap = 40, .garbage = true, .fakeMarkers = true, .seed = 5}));
    add(DbxFixture(someMails(2, 1200), {.leftoverTail = true, .trailing = 100, .seed = 7}));
    // Loops need full last blocks.
    DbxFixture looped({mailText(1, 1024), mailText(2, 1536)});
    looped.linkLastBlockTo(0, 0, 0); // back to its own first block
    looped.linkLastBlockTo(1, 0, 1); // into the other mail
    add(looped);
    DbxFixture cut(someMails(3, 800));
    cut.truncate(cut.size() - 300);
    add(cut);
    DbxFixture holed(someMails(3, 800));
    holed.zero(kFirstBlockPosition + 600, kFirstBlockPosition + 900);
    add(holed);
    // One as a real file lays it out, blocks after the first sector.
    seeds.push_back(DbxFixture(someMails(2, 400)).bytes());
    return seeds;
}

void write(const fs::path& path, const void* data, std::size_t size)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "use: %s <output folder>\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* target : {"reader", "advanced_scan", "mail"})
        fs::create_directories(root / target);

    int n = 0;
    for (Bytes& seed : dbxSeeds()) {
        const std::string name = "fixture-" + std::to_string(++n);
        write(root / "reader" / name, seed.data(), seed.size());
        // The Advanced Scan reads its window size from the first byte.
        seed.insert(seed.begin(), static_cast<unsigned char>(n));
        write(root / "advanced_scan" / name, seed.data(), seed.size());
    }
    if (std::getenv("MAILMEND_REAL_CORPUS")) {
        for (const fs::path& file : realCorpusFiles()) {
            const std::string bytes = readFile(file);
            write(root / "reader" / file.filename(), bytes.data(), bytes.size());
            const std::string withWindow = '\x01' + bytes;
            write(root / "advanced_scan" / file.filename(), withWindow.data(), withWindow.size());
        }
    }
    for (const MailSample& sample : mailSamples())
        write(root / "mail" / sample.name, sample.text.data(), sample.text.size());
    writeMailWithAttachments(root / "mail" / "three-attachments", 3);
    writeMailWithLargeAttachment(root / "mail" / "base64-attachment", 3000);
    return 0;
}
