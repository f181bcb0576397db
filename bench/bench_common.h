// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmark programs share: timing, the figure layout, and the plain reads,
// writes and child runs their figures are measured against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mailmend::bench {

namespace fs = std::filesystem;

double now(); // seconds on a steady clock
double median(std::vector<double> v);
double best(const std::vector<double>& v);
const char* verdict(bool ok);
void section(const char* title);

// One figure: name, value, target and verdict in fixed columns.
void figure(const char* name, const std::string& value, const std::string& target = {},
            std::optional<bool> ok = std::nullopt);

// Reads the whole file with read() calls of `chunk` bytes; returns the bytes read.
std::uint64_t plainRead(const fs::path& file, std::size_t chunk);

struct ChildRun {
    bool started = false;
    int status = -1;
    double wall = 0;
    double user = 0;
    double system = 0;
    std::uint64_t peakBytes = 0; // ru_maxrss
};

// Runs a program with standard output sent to `output` and standard error to
// /dev/null, and waits for it.
ChildRun runChild(const std::vector<std::string>& args, const std::string& output = "/dev/null");

struct TreeSize {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};
TreeSize measureTree(const fs::path& root);

// Writes `bytes` bytes to one new file with 1 MiB write() calls: a reference for the
// amount of data an extraction writes. Not a floor: one large file can be slower to
// write than many small ones (writeback and dirty-page throttling work per file).
double plainWrite(const fs::path& file, std::uint64_t bytes);

std::string findOnPath(const std::string& name);
std::string mib(std::uint64_t bytes); // "12.3 MiB"

// The arguments as "--option value" pairs.
std::map<std::string, std::string> optionPairs(int argc, char** argv);
std::uint64_t ownPeakBytes(); // VmHWM of this process

} // namespace mailmend::bench
