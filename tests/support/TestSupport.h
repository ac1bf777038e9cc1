// Test-side tools written independently of the library: an encoder and a
// decoder for 24-bit BMP files, the rotation as a plain per-pixel loop, and
// scratch folders. Nothing here calls the code under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// A picture as the tests see it: rows bottom first, 3 bytes per pixel.
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> bytes;  // width * height * 3

    const uint8_t* At(uint32_t x, uint32_t y) const { return &bytes[(size_t(y) * width + x) * 3]; }
    bool operator==(const Picture& o) const {
        return width == o.width && height == o.height && bytes == o.bytes;
    }
};

// Every pixel distinct (for pictures up to 2^23 pixels), none white.
Picture DistinctPicture(uint32_t width, uint32_t height);

// Header fields of a 24-bit BMP file, little endian, written as they stand.
struct Header {
    uint16_t bfType = 0x4D42;
    uint32_t bfSize = 0;  // 0: the true size
    uint16_t bfReserved1 = 0, bfReserved2 = 0;
    uint32_t bfOffBits = 54;
    uint32_t biSize = 40;
    int32_t biWidth = 0, biHeight = 0;  // taken from the picture unless overridden
    uint16_t biPlanes = 1, biBitCount = 24;
    uint32_t biCompression = 0, biSizeImage = 0;
    int32_t biXPelsPerMeter = 2835, biYPelsPerMeter = 2835;
    uint32_t biClrUsed = 0, biClrImportant = 0;
};

std::vector<uint8_t> HeaderBytes(const Header& header);
// Header, then (bfOffBits - 54) filler bytes, then the padded rows.
std::vector<uint8_t> EncodeBMP(const Picture& picture, Header header = {});
std::vector<uint8_t> EncodeBMP(const Picture& picture, Header header, uint8_t padByte);

// Strict decoder for what the library writes: fails the current test on any
// deviation from a plain 54-byte-header 24-bit file.
Picture DecodeWrittenBMP(const std::vector<uint8_t>& file);

// The rotation exactly as the formula reads, one pixel at a time.
uint32_t ReferenceCanvasWidth(uint32_t w, uint32_t h, int32_t angle);
uint32_t ReferenceCanvasHeight(uint32_t w, uint32_t h, int32_t angle);
Picture ReferenceRotate(const Picture& source, int32_t angle);

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);

// Whether `folder` can hold a file with no name (Linux's O_TMPFILE).
bool TakesUnnamedFiles(const std::string& folder);

// The library's console lines, each with its line feed.
constexpr const char* kReadLine = "File has been read successfully.\n";
constexpr const char* kBadLine = "File has invalid signature.\n";
constexpr const char* kDepthLine = "File has invalid resolution. Program works only with 24-bits bmp format.\n";
constexpr const char* kMissingLine = "File not found.\n";
constexpr const char* kWrittenLine = "File has been written successfully.\n";
constexpr const char* kUnwritableLine = "Error. File cant be written.\n";

// UTF-8 to UTF-16 for building names.
std::u16string U16(const std::string& utf8);

// A fresh folder, removed with its contents at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace testing_support
