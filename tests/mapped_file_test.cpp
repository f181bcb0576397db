// SPDX-License-Identifier: GPL-3.0-or-later
// Mapped windows of a file: what they show, what they refuse, and a file cut short
// under a mapping, which must fail the window rather than end the program.

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "dbx/mapped_mail_extractor.h"
#include "platform/mapped_file.h"
#include "support/dbx_fixture.h"
#include "support/temp_dir.h"

namespace mailmend::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 23);
    return bytes;
}

TEST(MappedFile, WindowsShowTheFileAndOddRequestsAreRefused)
{
    TempDir dir;
    const std::size_t page = mappingGranularity();
    const std::string bytes = pattern(3 * page + 100);
    testing::writeFile(dir / "f", bytes);
    auto opened = mapFileForReading(dir / "f");
    ASSERT_TRUE(opened.mapping) << opened.error;
    EXPECT_EQ(opened.mapping->size(), bytes.size());
    auto view = opened.mapping->newView();

    const std::uint8_t* at = view->map(page, 2 * page + 100, true);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(at), 2 * page + 100), bytes.substr(page));
    EXPECT_EQ(view->map(1, 10), nullptr) << "a start off the granularity";
    EXPECT_EQ(view->map(0, bytes.size() + 1), nullptr) << "a range past the end";
    EXPECT_EQ(view->map(0, 0), nullptr);
}

TEST(MappedFile, EmptyFilesDirectoriesAndMissingFilesCannotBeMapped)
{
    TempDir dir;
    testing::writeFile(dir / "empty", std::string());
    EXPECT_FALSE(mapFileForReading(dir / "empty").mapping);
    EXPECT_FALSE(mapFileForReading(dir.path()).mapping);
    const auto missing = mapFileForReading(dir / "missing");
    EXPECT_FALSE(missing.mapping);
    EXPECT_FALSE(missing.error.empty());
}

TEST(MappedFile, AFileCutShortUnderTheMappingFailsTheWindowInsteadOfTheProgram)
{
    TempDir dir;
    const std::size_t page = mappingGranularity();
    testing::writeFile(dir / "f", pattern(8 * page));
    auto opened = mapFileForReading(dir / "f");
    ASSERT_TRUE(opened.mapping);
    ASSERT_EQ(::truncate((dir / "f").c_str(), static_cast<off_t>(page)), 0);
    auto view = opened.mapping->newView();
    EXPECT_EQ(view->map(0, 8 * page), nullptr);
    EXPECT_EQ(view->map(0, 8 * page, true), nullptr);
    EXPECT_NE(view->map(0, page), nullptr) << "what is left can still be read";
}

class NoProgress final : public dbx::ProgressSink {
public:
    void setPosition(int) override {}
};

TEST(MappedFile, AnAdvancedScanWhoseSourceShrinksReportsAFailedCopy)
{
    TempDir dir;
    const std::size_t page = mappingGranularity();
    testing::writeFile(dir / "in.dbx", pattern(64 * page));
    dbx::MappedMailExtractor extractor;
    extractor.setActive(true);
    extractor.setWindowSize(4 * page);
    ASSERT_TRUE(extractor.openMapping(dir / "in.dbx"));
    ASSERT_EQ(::truncate((dir / "in.dbx").c_str(), static_cast<off_t>(10 * page)), 0);
    NoProgress bar;
    extractor.copyWithoutBlockHeaders(dir / "temp.dbx", bar);
    extractor.closeMapping();
    EXPECT_TRUE(extractor.copyFailed());
    EXPECT_TRUE(extractor.readFailed());
    EXPECT_EQ(fs::file_size(dir / "temp.dbx"), 8 * page) << "the windows before the cut are copied";
}

} // namespace
} // namespace mailmend::platform
