// SPDX-License-Identifier: GPL-3.0-or-later
// The output forms on one fixture: each form's whole run through mailmend-cli as a ratio
// to the EML form's run on the same file, measured in the same run, and the peak memory
// of each; then one mail with a 100 MB attachment through the forms that parse mails.
//
// Usage: mailmend-bench-forms --mails FILE.dbx --work DIR --cli PATH [--only FORM,...]
// The outputs are left in DIR/bench-out-forms-* for the caller to remove.

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_common.h"
#include "log/text.h"
#include "mail_folders.h"

namespace mailmend::bench {
namespace {

struct Form {
    const char* name;
    double target; // at most this many times the EML run; 0: the reference
};

constexpr Form kForms[] {{"eml", 0}, {"mbox", 1.2}, {"pst", 2}, {"dbx", 2}, {"msg", 2.5}, {"rtf", 2.5}};
constexpr std::uint64_t kMemoryLimit = 256ull << 20;

ChildRun runForm(const std::string& cli, const fs::path& source, const fs::path& work,
                 const std::string& form)
{
    const fs::path out = work / ("bench-out-forms-" + form);
    fs::create_directories(out);
    // The DBX output's store goes into the bench's own folder, never the user's.
    ::setenv("XDG_DATA_HOME", (work / ("bench-out-forms-data-" + form)).c_str(), 1);
    // The outputs stay until the end (run.sh's cleanup removes every bench-out-*): files
    // deleted just before cost the next run's file creations extra on some file systems.
    return runChild({cli, "-q", "-f", form, source.string(), "-o", out.string()});
}

} // namespace
} // namespace mailmend::bench

int main(int argc, char** argv)
{
    using namespace mailmend;
    using namespace mailmend::bench;
    auto args = optionPairs(argc, argv);
    if (!args.count("--mails") || !args.count("--work") || !args.count("--cli")) {
        std::fprintf(stderr, "usage: %s --mails FILE.dbx --work DIR --cli PATH [--only FORM,...]\n", argv[0]);
        return 2;
    }
    const fs::path source = args["--mails"];
    const fs::path work = args["--work"];
    const std::string cli = args["--cli"];
    const std::string only = args.count("--only") ? "," + args["--only"] + "," : "";

    section("Output forms: a whole run of mailmend-cli on the fixture, against -f eml");
    const ChildRun eml = runForm(cli, source, work, "eml");
    figure("-f eml", strprintf("%.2f s, peak %s", eml.wall, mib(eml.peakBytes).c_str()));
    bool allOk = eml.status == 0;
    for (const Form& form : kForms) {
        if (form.target == 0 || (!only.empty() && only.find(std::string(",") + form.name + ",") == std::string::npos))
            continue;
        const ChildRun run = runForm(cli, source, work, form.name);
        const double ratio = eml.wall > 0 ? run.wall / eml.wall : 0;
        const bool ok = run.status == 0 && ratio <= form.target && run.peakBytes < kMemoryLimit;
        allOk = allOk && ok;
        figure(strprintf("-f %s / -f eml", form.name).c_str(),
               strprintf("%.2f (%.2f s, peak %s)", ratio, run.wall, mib(run.peakBytes).c_str()),
               strprintf("<= %.1f, < 256 MiB", form.target), ok);
    }

    section("One mail with a 100 MB attachment: peak memory of the forms that parse mails");
    const fs::path large = work / "bench-out-forms-large.dbx";
    if (!writeLargeMailFolder(large, 100ull << 20)) {
        std::fprintf(stderr, "could not write %s\n", large.c_str());
        return 1;
    }
    for (const char* form : {"pst", "msg", "rtf"}) {
        const ChildRun run = runForm(cli, large, work, form);
        const bool ok = run.status == 0 && run.peakBytes < kMemoryLimit;
        allOk = allOk && ok;
        figure(strprintf("-f %s, 100 MB attachment", form).c_str(),
               strprintf("peak %s (%.2f s)", mib(run.peakBytes).c_str(), run.wall), "< 256 MiB", ok);
    }
    fs::remove(large);
    return allOk ? 0 : 1;
}
