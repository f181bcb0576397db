// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-bench-oestore: puts 50 000 mails into a new folder of an OE store, the way the
// DBX output does (one stream per mail), and prints whether the cost of a commit stays
// flat, the peak memory and the folder file's size against the mails' own size.
//
// Usage: mailmend-bench-oestore [DATA_DIR]   (the store goes into DATA_DIR/oestore-bench
// and is removed at the end)

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "log/text.h"
#include "mailstore/oestore/store_namespace.h"

namespace {

using namespace mailmend::bench;
using namespace mailmend::mailstore::oestore;
using mailmend::strprintf;

constexpr int kMails = 50000;
constexpr int kWindow = 1000;
constexpr double kMiB = 1024.0 * 1024.0;

// Mail n: a few hundred bytes to six kilobytes, every 500th one 100 KB; made in `text`.
void makeMail(int n, std::string& text)
{
    const std::size_t size =
        n % 500 == 499 ? 100000 : 300 + static_cast<std::size_t>(n) * 7919 % 6000;
    text = strprintf("From: Sender %d <s%d@example.org>\r\nTo: r@example.org\r\n"
                     "Subject: benchmark mail %d\r\nDate: Tue, 1 Jul 2003 10:52:37 +0200\r\n"
                     "Message-ID: <%d@example.org>\r\n\r\n",
                     n, n, n, n);
    while (text.size() < size)
        text += "The quick brown fox jumps over the lazy dog, again and again.\r\n";
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path root = fs::path(argc > 1 ? argv[1] : "build/bench-data") / "oestore-bench";
    std::error_code ec;
    fs::remove_all(root, ec);

    StoreNamespace store(root);
    FolderId id = 0;
    std::unique_ptr<StoreFolder> folder;
    if (isFailure(store.Initialize()) || isFailure(store.CreateFolder(kTopLevel, "Bench", id))
        || isFailure(store.OpenFolder(id, folder))) {
        std::fprintf(stderr, "cannot make the store in %s\n", root.c_str());
        return 0;
    }

    std::vector<double> windows; // seconds the store took for each kWindow commits
    double window = 0;
    std::uint64_t inputBytes = 0;
    std::string text;
    int failures = 0;
    for (int n = 0; n < kMails; ++n) {
        makeMail(n, text); // not timed
        inputBytes += text.size();
        const double before = now();
        std::unique_ptr<MessageStream> stream;
        MessageId messageId = 0;
        if (isFailure(folder->CreateStream(stream, messageId))
            || isFailure(stream->Write(text.data(), text.size()))
            || isFailure(folder->CommitStream(*stream, messageId)))
            ++failures;
        stream.reset();
        window += now() - before;
        if ((n + 1) % kWindow == 0) {
            windows.push_back(window);
            window = 0;
        }
    }
    const double closeStart = now();
    folder.reset();
    const double closeTime = now() - closeStart;
    double total = closeTime;
    for (const double w : windows)
        total += w;
    const auto output = fs::file_size(root / "Bench.dbx", ec);

    section("OE store: 50 000 mails into one folder");
    figure("mails committed", strprintf("%d of %d", kMails - failures, kMails), "all",
           failures == 0);
    figure("store time, all commits and close", strprintf("%.2f s", total));
    figure("close (index tree and header)", strprintf("%.3f s", closeTime));
    const double first = windows.front();
    const double last = windows.back();
    figure("first 1000 commits", strprintf("%.3f s", first));
    figure("last 1000 commits", strprintf("%.3f s", last));
    figure("last / first", strprintf("%.2f", last / first), "<= 1.5", last / first <= 1.5);
    figure("slowest 1000 / median 1000",
           strprintf("%.2f", *std::max_element(windows.begin(), windows.end()) / median(windows)));
    figure("peak memory", strprintf("%.1f MiB", static_cast<double>(ownPeakBytes()) / kMiB),
           "<= 32 MiB", ownPeakBytes() <= 32 * 1024 * 1024);
    figure("mail bytes in", strprintf("%.1f MiB", static_cast<double>(inputBytes) / kMiB));
    figure("folder file", strprintf("%.1f MiB", static_cast<double>(output) / kMiB));
    figure("folder file / mail bytes",
           strprintf("%.3f", static_cast<double>(output) / static_cast<double>(inputBytes)));
    fs::remove_all(root, ec);
    return 0;
}
