#include "TestSupport.h"

#include "ReferenceTrig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#if defined(_WIN32)
#include <process.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace testing_support {

Picture DistinctPicture(uint32_t width, uint32_t height) {
    Picture p{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
    for (uint32_t i = 0; i < width * height; ++i) {
        // A bijection of the pixel index onto 24 bits, kept away from white.
        const uint32_t v = (i * 2654435761u) & 0x7FFFFFu;
        p.bytes[i * 3 + 0] = uint8_t(v);
        p.bytes[i * 3 + 1] = uint8_t(v >> 8);
        p.bytes[i * 3 + 2] = uint8_t(v >> 16);
    }
    return p;
}

static void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

std::vector<uint8_t> HeaderBytes(const Header& h) {
    std::vector<uint8_t> out;
    Put(out, h.bfType, 2);
    Put(out, h.bfSize, 4);
    Put(out, h.bfReserved1, 2);
    Put(out, h.bfReserved2, 2);
    Put(out, h.bfOffBits, 4);
    Put(out, h.biSize, 4);
    Put(out, uint32_t(h.biWidth), 4);
    Put(out, uint32_t(h.biHeight), 4);
    Put(out, h.biPlanes, 2);
    Put(out, h.biBitCount, 2);
    Put(out, h.biCompression, 4);
    Put(out, h.biSizeImage, 4);
    Put(out, uint32_t(h.biXPelsPerMeter), 4);
    Put(out, uint32_t(h.biYPelsPerMeter), 4);
    Put(out, h.biClrUsed, 4);
    Put(out, h.biClrImportant, 4);
    return out;
}

std::vector<uint8_t> EncodeBMP(const Picture& picture, Header header) {
    return EncodeBMP(picture, header, 0);
}

std::vector<uint8_t> EncodeBMP(const Picture& picture, Header header, uint8_t padByte) {
    if (header.biWidth == 0) header.biWidth = int32_t(picture.width);
    if (header.biHeight == 0) header.biHeight = int32_t(picture.height);
    const uint32_t pad = picture.width % 4;
    const size_t offset = header.bfOffBits >= 54 ? header.bfOffBits : 54;
    const size_t total = offset + size_t(picture.height) * (picture.width * 3 + pad);
    if (header.bfSize == 0) header.bfSize = uint32_t(total);
    std::vector<uint8_t> out = HeaderBytes(header);
    while (out.size() < offset) out.push_back(uint8_t(0xA5 ^ out.size()));  // filler, never pixels
    for (uint32_t y = 0; y < picture.height; ++y) {
        out.insert(out.end(), picture.At(0, y), picture.At(0, y) + picture.width * 3);
        for (uint32_t k = 0; k < pad; ++k) out.push_back(padByte);
    }
    return out;
}

static uint32_t Get(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint32_t(b[at + size_t(i)]) << (8 * i);
    return v;
}

Picture DecodeWrittenBMP(const std::vector<uint8_t>& f) {
    Picture p;
    EXPECT_GE(f.size(), 54u);
    if (f.size() < 54) return p;
    EXPECT_EQ(Get(f, 0, 2), 0x4D42u);
    EXPECT_EQ(Get(f, 2, 4), f.size()) << "bfSize";
    EXPECT_EQ(Get(f, 6, 4), 0u) << "reserved";
    EXPECT_EQ(Get(f, 10, 4), 54u) << "bfOffBits";
    EXPECT_EQ(Get(f, 14, 4), 40u) << "biSize";
    EXPECT_EQ(Get(f, 26, 2), 1u) << "biPlanes";
    EXPECT_EQ(Get(f, 28, 2), 24u) << "biBitCount";
    EXPECT_EQ(Get(f, 30, 4), 0u) << "biCompression";
    EXPECT_EQ(Get(f, 34, 4), 0u) << "biSizeImage";
    EXPECT_EQ(Get(f, 38, 4), 3780u) << "biXPelsPerMeter";
    EXPECT_EQ(Get(f, 42, 4), 3780u) << "biYPelsPerMeter";
    EXPECT_EQ(Get(f, 46, 4), 0u) << "biClrUsed";
    EXPECT_EQ(Get(f, 50, 4), 0u) << "biClrImportant";
    p.width = Get(f, 18, 4);
    p.height = Get(f, 22, 4);
    const size_t stride = size_t(p.width) * 3 + p.width % 4;
    EXPECT_EQ(f.size(), 54 + stride * p.height) << "file length";
    if (f.size() != 54 + stride * p.height) return Picture{};
    for (uint32_t y = 0; y < p.height; ++y) {
        const size_t row = 54 + y * stride;
        p.bytes.insert(p.bytes.end(), f.begin() + long(row), f.begin() + long(row + p.width * 3));
        for (size_t k = row + p.width * 3; k < row + stride; ++k) EXPECT_EQ(f[k], 0) << "pad byte";
    }
    return p;
}

namespace {
int32_t Larger(int32_t a, int32_t b) { return a > b ? a : b; }

void Canvas(uint32_t w, uint32_t h, int32_t angle, int32_t& cw, int32_t& ch) {
    const double c = std::fabs(ReferenceCos(angle)), s = ReferenceSin(angle);
    const double W = double(w), H = double(h);
    cw = Larger(int32_t(W * c - H * s), int32_t(W * c + H * s));
    ch = Larger(int32_t(W * s + H * c), int32_t(H * c - W * s));
}
}  // namespace

uint32_t ReferenceCanvasWidth(uint32_t w, uint32_t h, int32_t angle) {
    int32_t cw, ch;
    Canvas(w, h, angle, cw, ch);
    return uint32_t(cw);
}

uint32_t ReferenceCanvasHeight(uint32_t w, uint32_t h, int32_t angle) {
    int32_t cw, ch;
    Canvas(w, h, angle, cw, ch);
    return uint32_t(ch);
}

Picture ReferenceRotate(const Picture& src, int32_t angle) {
    const double c = ReferenceCos(angle), s = ReferenceSin(angle);
    Picture out;
    out.width = ReferenceCanvasWidth(src.width, src.height, angle);
    out.height = ReferenceCanvasHeight(src.width, src.height, angle);
    out.bytes.assign(size_t(out.width) * out.height * 3, 0);
    const int32_t W = int32_t(src.width), H = int32_t(src.height);
    for (int32_t i = 0; i < int32_t(out.height); ++i) {
        for (int32_t j = 0; j < int32_t(out.width); ++j) {
            const double xd = double(j - int32_t(out.width) / 2);
            const double yd = double(i - int32_t(out.height) / 2);
            const int32_t xs = int32_t((xd * c - yd * s) + double(W / 2));
            const int32_t ys = int32_t((yd * c + xd * s) + double(H / 2));
            uint8_t* to = &out.bytes[(size_t(i) * out.width + size_t(j)) * 3];
            if (xs >= 0 && xs < W && ys >= 0 && ys < H) {
                const uint8_t* from = src.At(uint32_t(xs), uint32_t(ys));
                to[0] = from[0], to[1] = from[1], to[2] = from[2];
            } else {
                to[0] = to[1] = to[2] = 255;
            }
        }
    }
    return out;
}

// Names are UTF-8 on every system: on Windows through the wide file API.
static std::filesystem::path Native(const std::string& path) { return std::filesystem::u8path(path); }

static std::FILE* Open(const std::string& path, bool write) {
#if defined(_WIN32)
    return _wfopen(Native(path).c_str(), write ? L"wb" : L"rb");
#else
    return std::fopen(path.c_str(), write ? "wb" : "rb");
#endif
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::FILE* in = Open(path, false);
    if (in == nullptr) return bytes;
    uint8_t block[65536];
    for (size_t got; (got = std::fread(block, 1, sizeof block, in)) > 0;) bytes.insert(bytes.end(), block, block + got);
    std::fclose(in);
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* out = Open(path, true);
    ASSERT_NE(out, nullptr) << path;
    const size_t put = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), out);
    ASSERT_TRUE(std::fclose(out) == 0 && put == bytes.size()) << path;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(Native(path)); }

std::u16string U16(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char b = uint8_t(utf8[i]);
        const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        uint32_t c = n == 1 ? b : n == 2 ? (b & 0x1Fu) : n == 3 ? (b & 0x0Fu) : (b & 0x07u);
        for (int k = 1; k < n; ++k) c = (c << 6) | (uint8_t(utf8[i + size_t(k)]) & 0x3Fu);
        if (c >= 0x10000) {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += char16_t(c);
        }
        i += size_t(n);
    }
    return out;
}

bool TakesUnnamedFiles(const std::string& folder) {
#if defined(O_TMPFILE)
    const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (fd >= 0) close(fd);
    return fd >= 0;
#else
    (void)folder;
    return false;
#endif
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vbr-XXXXXX").string();
#if defined(_WIN32)
    // No mkdtemp: the process id keeps parallel test processes apart, and a
    // folder that already exists is never shared.
    static unsigned serial = 0;
    pattern.resize(pattern.size() - 6);
    for (;;) {
        path_ = pattern + std::to_string(_getpid()) + "-" + std::to_string(serial++);
        std::error_code error;
        if (std::filesystem::create_directory(path_, error)) break;
        if (error) std::abort();
    }
#else
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) std::abort();
    path_ = buffer.data();
#endif
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace testing_support
