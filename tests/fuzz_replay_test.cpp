// Every input the fuzzers were seeded with or ever crashed on, run again
// through the harnesses' own entry points in every build.
#include <gtest/gtest.h>

#include <filesystem>

#include "FuzzEntries.h"
#include "support/Call.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> Inputs(const std::vector<std::string>& folders) {
    std::vector<fs::path> files;
    for (const std::string& folder : folders)
        for (const auto& entry : fs::directory_iterator(fs::path(VINTREL_FUZZ_DIR) / folder))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string LinesFor(int result) {
    switch (result) {
        case 999: return std::string(kReadLine) + kWrittenLine;
        case -2: return kDepthLine;
        default: return "";
    }
}

TEST(FuzzReplay, ReaderTakesEveryKeptInput) {
    const std::vector<fs::path> files = Inputs({"corpus/read", "corpus/rotate", "regressions"});
    ASSERT_GE(files.size(), 20u) << "the seeds are in the repository";
    size_t read = 0;
    for (const fs::path& file : files) {
        const std::vector<uint8_t> bytes = ReadFile(file.string());
        const int status = vintrel_fuzz::ReadEntry(bytes.data(), bytes.size());
        EXPECT_TRUE(status == vintrel_fuzz::Skipped || (status >= 0 && status <= 2)) << file << ": " << status;
        read += status == 0;
    }
    EXPECT_GT(read, 0u);
}

TEST(FuzzReplay, TheWholeCallTakesEveryKeptInput) {
    const std::vector<fs::path> files = Inputs({"corpus/rotate", "corpus/read", "regressions"});
    size_t written = 0;
    for (const fs::path& file : files) {
        const std::vector<uint8_t> bytes = ReadFile(file.string());
        testing::internal::CaptureStdout();
        const int result = vintrel_fuzz::RotateEntry(bytes.data(), bytes.size());
        const std::string printed = testing::internal::GetCapturedStdout();
        if (result == vintrel_fuzz::Skipped) continue;
        written += result == 999;
        if (result == -1) {
            EXPECT_TRUE(printed == kBadLine || printed == std::string(kReadLine) + kUnwritableLine) << file;
        } else {
            EXPECT_EQ(printed, LinesFor(result)) << file << ": " << result;
        }
    }
    EXPECT_GT(written, 0u);
}

}  // namespace
