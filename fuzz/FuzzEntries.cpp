#include "FuzzEntries.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "VintrelBMPRotate2.h"
#include "bmp/BMPFile.h"
#include "platform/Platform.h"

namespace vintrel_fuzz {
namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// In blocks: a byte loop would spend the fuzzer's time on its own checks.
bool IsZero(const uint8_t* p, uint64_t n) {
    static const uint8_t zeros[4096] = {};
    while (n > 0) {
        const size_t chunk = n < sizeof zeros ? size_t(n) : sizeof zeros;
        if (std::memcmp(p, zeros, chunk) != 0) return false;
        p += chunk;
        n -= chunk;
    }
    return true;
}

// The header as the file gives it, read on its own terms.
struct Claim {
    bool accepted;  // would the reader take it and allocate?
    uint64_t width, height, offset;
};

Claim ClaimOf(const uint8_t* data, size_t size) {
    if (size < 54) return Claim{false, 0, 0, 0};
    const uint64_t w = Get32(data + 18), h = Get32(data + 22);
    const bool fields = Get16(data + 28) == 24 && Get16(data + 0) == 0x4D42 && Get32(data + 30) == 0 &&
                        Get16(data + 26) == 1;
    const bool holdable = w <= 0x7FFFFFFF && h <= 0x7FFFFFFF && 3 * w * h <= 0xFFFFFFFFu;
    return Claim{fields && holdable, w, h, Get32(data + 10)};
}

// Scratch files in memory where the system has a tmpfs, removed at exit.
struct Scratch {
    std::string folder, input, output;
    Scratch() {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/vintrel-fuzz-XXXXXX";
        Require(mkdtemp(&pattern[0]) != nullptr, "a scratch folder");
        folder = pattern;
        input = folder + "/in.bmp";
        output = folder + "/out.bmp";
    }
    ~Scratch() {
        std::remove(input.c_str());
        std::remove(output.c_str());
        rmdir(folder.c_str());
    }
};

Scratch& Files() {
    static Scratch scratch;
    return scratch;
}

void Put(const std::string& name, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    Require(f != nullptr, "the scratch input opens");
    Require(size == 0 || std::fwrite(data, 1, size, f) == size, "the scratch input is written");
    Require(std::fclose(f) == 0, "the scratch input is closed");
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }  // ASCII names

struct Held {
    int64_t blocks, files;
};
Held HeldNow() {
    const vintrel::PlatformTally t = vintrel::PlatformCount();
    return Held{t.blocks, t.files};
}
void RequireNothingHeld(const Held& before) {
    const Held after = HeldNow();
    Require(after.blocks == before.blocks, "every heap block is freed");
    Require(after.files == before.files, "every file is closed");
}

}  // namespace

int ReadEntry(const uint8_t* data, size_t size) {
    const Claim claim = ClaimOf(data, size);
    if (claim.accepted && 3 * claim.width * claim.height > kReadLimitBytes) return Skipped;
    Scratch& files = Files();
    Put(files.input, data, size);

    const Held before = HeldNow();
    vintrel::BMPImage image{0, 0, nullptr};
    const int32_t status = vintrel::ReadBMP(files.input.c_str(), &image);
    Require(status >= vintrel::ReadOk && status <= vintrel::ReadOpenFailed, "a defined read status");
    Require(status != vintrel::ReadOpenFailed, "the scratch input opens");
    if (status != vintrel::ReadOk) {
        Require(image.pixels == nullptr && image.width == 0 && image.height == 0, "a refused file keeps nothing");
    } else {
        Require(claim.accepted, "only an acceptable header reads");
        Require(image.width == claim.width && image.height == claim.height, "the header's size");
        Require(vintrel::HasPixels(image) == (image.pixels != nullptr), "a buffer exactly when there are pixels");
        // Byte (x, y, c) is the file's byte at offset + y * stride + 3x + c,
        // or zero where the file has none.
        const uint64_t row = 3 * claim.width, stride = row + claim.width % 4;
        for (uint64_t y = 0; y < claim.height && image.pixels != nullptr; ++y) {
            const uint8_t* got = image.pixels + y * row;
            const uint64_t from = claim.offset + y * stride;
            const uint64_t there = from >= size ? 0 : size - from < row ? size - from : row;
            // At most one row of a picture that is held, so within size_t.
            Require(there == 0 || std::memcmp(got, data + from, static_cast<size_t>(there)) == 0,
                    "pixels are the file's bytes");
            Require(IsZero(got + there, row - there), "pixels past the end are black");
        }
    }
    vintrel::ReleasePixels(image);
    RequireNothingHeld(before);
    return status;
}

int RotateEntry(const uint8_t* data, size_t size) {
    int32_t angle = 0;
    if (size >= 4) {
        size -= 4;
        angle = int32_t(Get32(data + size));
    }
    const Claim claim = ClaimOf(data, size);
    if (claim.accepted && claim.width + claim.height > kRotateLimitSide) return Skipped;
    Scratch& files = Files();
    Put(files.input, data, size);
    std::remove(files.output.c_str());

    const Held before = HeldNow();
    const std::u16string in = Wide(files.input), out = Wide(files.output);
    const int32_t result = BMPRotate2(in.c_str(), out.c_str(), angle);
    RequireNothingHeld(before);
    Require(result == 999 || result == -1 || result == -2, "a defined result (the input exists)");

    std::FILE* f = std::fopen(files.output.c_str(), "rb");
    Require((f != nullptr) == (result == 999), "an output exactly on success");
    if (f == nullptr) return result;
    uint8_t header[54] = {};
    const size_t got = std::fread(header, 1, sizeof header, f);
    std::fseek(f, 0, SEEK_END);
    const long length = std::ftell(f);
    std::fclose(f);
    Require(got == 54 && Get16(header) == 0x4D42 && Get32(header + 10) == 54 && Get16(header + 28) == 24,
            "a 24-bit BMP header");
    const uint64_t w = Get32(header + 18), h = Get32(header + 22);
    Require(uint64_t(length) == 54 + h * (3 * w + w % 4) && Get32(header + 2) == uint64_t(length),
            "the file is as long as its header says");
    return result;
}

}  // namespace vintrel_fuzz
