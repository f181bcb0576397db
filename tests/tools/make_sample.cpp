// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the bundled sample: a small mail folder whose blocks are shuffled, lie at
// unaligned positions between garbage and fake block markers, and which was then damaged
// (one chain cut off by a zeroed range, the file truncated inside its last mail).

#include <cstdio>
#include <string>
#include <vector>

#include "support/dbx_fixture.h"

int main(int argc, char** argv)
{
    using namespace mailmend::testing;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.dbx\n", argv[0]);
        return 2;
    }
    const std::size_t sizes[] = {900, 3000, 420, 12000, 1500, 512, 2048, 700, 5000, 1200, 64, 2600};
    std::vector<std::string> mails;
    int n = 1;
    for (std::size_t size : sizes)
        mails.push_back(mailText(n++, size));

    Layout layout;
    layout.order = Order::Shuffled;
    layout.maxGap = 200;
    layout.garbage = true;
    layout.fakeMarkers = true;
    layout.leftoverTail = true;
    layout.seed = 2011;
    DbxFixture sample(std::move(mails), layout);

    // Mail 4 loses its second block: its chain now ends in a link to nothing.
    const BlockPlan& lost = sample.block(3, 1);
    sample.zero(lost.position, lost.position + 528);
    // The file ends in the middle of the data of the block placed last.
    sample.truncate(sample.size() - 300);

    sample.writeTo(argv[1]);
    std::printf("%s: %llu bytes, %zu of %zu mails whole\n", argv[1],
                static_cast<unsigned long long>(sample.size()), sample.expected().size(),
                sample.mails().size());
    return 0;
}
