// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/job_harness.h"

namespace mailmend::testing {

namespace fs = std::filesystem;

JobHarness::JobHarness()
{
    fs::create_directory(dir / "src");
    fs::create_directory(temp);
    extractor.setActive(true);
    extractor.setWindowSize(1); // one page: the passes move the bar often
    request.m_strDestination = destination.string();
    request.m_bLog = true;
    request.m_bRunning = &running;
    services.log = &log;
    services.clock = &clock;
    services.extractor = &extractor;
    services.tempDirectory = temp;
    services.storeDirectory = dir / "store";
}

std::string JobHarness::addSource(const std::string& name, const DbxFixture& fixture)
{
    const fs::path path = dir / "src" / name;
    fixture.writeTo(path);
    request.files.push_back({path.string(), name});
    return path.string();
}

std::string JobHarness::addSource(const std::string& name, const std::string& bytes)
{
    const fs::path path = dir / "src" / name;
    writeFile(path, bytes);
    request.files.push_back({path.string(), name});
    return path.string();
}

std::string JobHarness::addMissing(const std::string& name)
{
    const fs::path path = dir / "src" / "missing" / name;
    request.files.push_back({path.string(), name});
    return path.string();
}

int JobHarness::run()
{
    return recovery::DBX_Recover_thread(request, view, token, services);
}

void JobHarness::stop()
{
    running = false;
    extractor.setActive(false);
    token.cancel();
}

std::map<std::string, std::string> JobHarness::tree() const
{
    std::map<std::string, std::string> out;
    for (const fs::path& top : {destination, temp}) {
        if (!fs::exists(top))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(top)) {
            const std::string name = fs::relative(entry.path(), dir.path()).string();
            if (entry.is_directory())
                out[name + "/"] = "";
            else
                out[name] = readFile(entry.path());
        }
    }
    return out;
}

std::vector<LogLine> JobHarness::lines() const
{
    std::vector<LogLine> out;
    bool scanning = false;
    for (const LogLine& line : log.lines()) {
        const auto endsWith = [&](const std::string& tail) {
            return line.message.size() >= tail.size()
                && line.message.compare(line.message.size() - tail.size(), tail.size(), tail) == 0;
        };
        if (scanning && !endsWith(" Convertable mails found."))
            continue;
        scanning = endsWith(" DBX File opened succssfully.");
        out.push_back(line);
        // The run's private folder has a name of its own each time: it reads RUN here.
        const std::string privatePrefix = (temp / "mailmend-").string();
        if (const auto at = out.back().message.find(privatePrefix); at != std::string::npos)
            out.back().message.replace(at + temp.string().size() + 1, 15, "RUN");
    }
    return out;
}

std::vector<std::string> JobHarness::errors() const
{
    std::vector<std::string> out;
    for (const LogLine& line : lines())
        if (line.isError)
            out.push_back(line.message);
    return out;
}

std::string JobHarness::closingBox() const
{
    const std::vector<std::string> calls = view.calls();
    for (auto call = calls.rbegin(); call != calls.rend(); ++call)
        if (call->rfind("box ", 0) == 0)
            return *call;
    return {};
}

std::string tempStamp(std::size_t index)
{
    return std::to_string(index) + "_(DATE=3-7-2011)_(TIME=9hr.5m.3s)";
}

} // namespace mailmend::testing
