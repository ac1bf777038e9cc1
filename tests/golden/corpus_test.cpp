// The golden corpus: each picture made by make_corpus.py, turned by the
// library as built by each angle of corpus.sha256, must give the file whose
// SHA-256 the list records. The list comes from a plain per-pixel loop, made
// once; the same list serves every build, so a difference names the picture,
// the angle and the build that turned it otherwise.
//
// Where things are: compiled in, or VINTREL_CORPUS_PICTURES (folder of
// NAME.bmp), VINTREL_CORPUS_HASHES (the list) and VINTREL_BUILD_NAME from the
// environment, for builds whose tests run somewhere else.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "Sha256.h"
#include "support/Call.h"

using namespace testing_support;

namespace {

std::string Setting(const char* variable, const char* compiled) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? value : compiled;
}

const std::string& BuildName() {
    static const std::string name = Setting("VINTREL_BUILD_NAME", VINTREL_BUILD_NAME);
    return name;
}

std::string PictureFile(const std::string& picture) {
    return Setting("VINTREL_CORPUS_PICTURES", VINTREL_CORPUS_PICTURES) + "/" + picture + ".bmp";
}

struct Turn {
    int32_t angle;
    std::string sha256;
};

struct Entry {
    std::string picture;
    std::string input;  // SHA-256 of the picture file itself
    std::vector<Turn> turns;
};

void PrintTo(const Entry& e, std::ostream* os) { *os << e.picture; }

// An unreadable or malformed list gives one entry named after the fault, so
// that the suite fails rather than finding nothing to check.
std::vector<Entry> LoadList() {
    const std::string path = Setting("VINTREL_CORPUS_HASHES", VINTREL_CORPUS_HASHES);
    std::ifstream in(path);
    if (!in) return {Entry{"unreadable_list", "", {}}};
    std::vector<Entry> entries;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string picture, angle, sha, extra;
        if (!(fields >> picture >> angle >> sha) || (fields >> extra) || sha.size() != 64)
            return {Entry{"malformed_list", "", {}}};
        if (entries.empty() || entries.back().picture != picture) entries.push_back(Entry{picture, "", {}});
        if (angle == "input")
            entries.back().input = sha;
        else
            entries.back().turns.push_back(Turn{int32_t(std::stoll(angle)), sha});
    }
    if (entries.empty()) return {Entry{"empty_list", "", {}}};
    return entries;
}

const std::vector<Entry>& List() {
    static const std::vector<Entry> list = LoadList();
    return list;
}

class GoldenCorpus : public testing::TestWithParam<Entry> {};

TEST_P(GoldenCorpus, EveryAngleGivesTheRecordedFile) {
    const Entry& e = GetParam();
    ASSERT_EQ(e.input.size(), 64u) << e.picture << ": no input hash in the list";
    ASSERT_FALSE(e.turns.empty()) << e.picture << ": no angles in the list";
    const std::string input = PictureFile(e.picture);
    ASSERT_EQ(Sha256Hex(ReadFile(input)), e.input)
        << input << " is not the picture the list was made for (build " << BuildName() << ")";
    TempDir dir;
    const std::string output = dir.File("turned.bmp");
    for (const Turn& t : e.turns) {
        const Outcome o = Rotate(input, output, t.angle);
        EXPECT_EQ(o.result, 999) << "picture " << e.picture << ", angle " << t.angle << ": " << o.printed;
        EXPECT_EQ(Sha256Hex(ReadFile(output)), t.sha256)
            << "picture " << e.picture << ", angle " << t.angle << ", build " << BuildName()
            << ": the turned file differs from the golden one";
    }
}

INSTANTIATE_TEST_SUITE_P(List, GoldenCorpus, testing::ValuesIn(List()),
                         [](const testing::TestParamInfo<Entry>& p) { return p.param.picture; });

// A picture the script makes but the list leaves out would go unchecked.
TEST(GoldenCorpusList, NamesEveryPictureOfTheFolder) {
    std::set<std::string> listed;
    for (const Entry& e : List()) listed.insert(e.picture);
    const std::filesystem::path folder = Setting("VINTREL_CORPUS_PICTURES", VINTREL_CORPUS_PICTURES);
    size_t pictures = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        if (file.path().extension() != ".bmp") continue;
        ++pictures;
        EXPECT_EQ(listed.count(file.path().stem().string()), 1u) << file.path() << " has no hashes";
    }
    EXPECT_EQ(pictures, listed.size());
}

// Known answers (FIPS 180-4 examples): a message within one block, one whose
// padding spills into a second block, and one of many blocks.
TEST(Sha256, KnownAnswers) {
    const auto bytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex(bytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::vector<uint8_t>(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
