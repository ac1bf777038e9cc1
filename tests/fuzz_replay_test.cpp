// Every input the fuzzers were seeded with or ever crashed on, run again
// through the harnesses' own entry points in every build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.' &&
                entry.path().filename() != "README.md")
                files.push_back(entry.path());
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

// Each harness on one input: the read status, or the whole call's result
// with the lines it printed checked.
int Read(const fs::path& file) {
    const std::vector<uint8_t> bytes = ReadFile(file.string());
    const int status = vintrel_fuzz::ReadEntry(bytes.data(), bytes.size());
    EXPECT_TRUE(status == vintrel_fuzz::Skipped || (status >= 0 && status <= 2)) << file << ": " << status;
    return status;
}

int Call(const fs::path& file) {
    const std::vector<uint8_t> bytes = ReadFile(file.string());
    testing::internal::CaptureStdout();
    const int result = vintrel_fuzz::RotateEntry(bytes.data(), bytes.size());
    const std::string printed = testing::internal::GetCapturedStdout();
    if (result == vintrel_fuzz::Skipped) return result;
    if (result == -1) {
        EXPECT_TRUE(printed == kBadLine || printed == std::string(kReadLine) + kUnwritableLine) << file;
    } else {
        EXPECT_EQ(printed, LinesFor(result)) << file << ": " << result;
    }
    return result;
}

TEST(FuzzReplay, ReaderTakesEverySeed) {
    const std::vector<fs::path> files = Inputs({"corpus/read", "corpus/rotate"});
    ASSERT_GE(files.size(), 20u) << "the seeds are in the repository";
    size_t read = 0;
    for (const fs::path& file : files) read += Read(file) == 0;
    EXPECT_GT(read, 0u);
}

TEST(FuzzReplay, TheWholeCallTakesEverySeed) {
    size_t written = 0;
    for (const fs::path& file : Inputs({"corpus/rotate", "corpus/read"})) written += Call(file) == 999;
    EXPECT_GT(written, 0u);
}

// Every input that once made a fuzzer fail, as a test of its own.
class FuzzRegression : public testing::TestWithParam<fs::path> {};

TEST_P(FuzzRegression, BothHarnessesTakeIt) {
    Read(GetParam());
    Call(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Kept, FuzzRegression, testing::ValuesIn(Inputs({"regressions"})),
                         [](const testing::TestParamInfo<fs::path>& p) {
                             std::string name = p.param.filename().string();
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzRegression);

}  // namespace
