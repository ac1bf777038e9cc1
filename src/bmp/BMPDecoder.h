// How a BMP file's header is read and judged: the fields, the check in the
// order the reader makes it, and the sizes of the files a picture and its
// turned canvas need. Header-only, and shared: the library reads by it, and
// the host program includes it to say why the library refused a file, so
// that its reason is always the library's verdict put into words.
//
// The check, in this order: a file shorter than the 54-byte header is read
// as zeros, so its bit count is 0 (TooShort); then biBitCount == 24
// (Not24Bit); bfType == "BM" (BadSignature); biCompression == 0
// (Compressed); biPlanes == 1 (NotOnePlane); a height and a width that are
// not negative (TopDown, NegativeWidth: outside what the reader holds); and
// a picture whose file can exist (TooLarge). The first two give ReadNot24Bit,
// the rest ReadBadHeader.
//
// Too large, the one definition for a picture read and a canvas written:
// the file that stores it would be longer than kMaxFileBytes, which is what
// a BMP's 32-bit size field can say (StoredFileBytes, BMPLayout.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bmp/BMPLayout.h"
#include "rotate/Canvas.h"

namespace vintrel {

constexpr uint16_t kBMPSignature = 0x4D42;  // "BM"

struct BMPHeader {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
    uint32_t biSize;
    uint32_t biWidth;
    uint32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    uint32_t biXPelsPerMeter;
    uint32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

enum ReadStatus : int32_t { ReadOk = 0, ReadBadHeader = 1, ReadNot24Bit = 2, ReadOpenFailed = 3 };

enum class HeaderVerdict {
    Ok, TooShort, Not24Bit, BadSignature, Compressed, NotOnePlane, TopDown, NegativeWidth, TooLarge
};

namespace decoder_detail {

// Little endian, byte by byte: the file's order on every machine.
inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace decoder_detail

// The header from the first `size` bytes of a file: all zeros when there
// are fewer than 54, never the part that was there. False then.
inline bool DecodeBMPHeader(const uint8_t* bytes, size_t size, BMPHeader& h) {
    using namespace decoder_detail;
    uint8_t b[kBMPHeaderBytes] = {};
    const bool whole = size >= kBMPHeaderBytes;
    if (whole) std::memcpy(b, bytes, kBMPHeaderBytes);
    h.bfType = Get16(b + 0);
    h.bfSize = Get32(b + 2);
    h.bfReserved1 = Get16(b + 6);
    h.bfReserved2 = Get16(b + 8);
    h.bfOffBits = Get32(b + 10);
    h.biSize = Get32(b + 14);
    h.biWidth = Get32(b + 18);
    h.biHeight = Get32(b + 22);
    h.biPlanes = Get16(b + 26);
    h.biBitCount = Get16(b + 28);
    h.biCompression = Get32(b + 30);
    h.biSizeImage = Get32(b + 34);
    h.biXPelsPerMeter = Get32(b + 38);
    h.biYPelsPerMeter = Get32(b + 42);
    h.biClrUsed = Get32(b + 46);
    h.biClrImportant = Get32(b + 50);
    return whole;
}

inline HeaderVerdict CheckBMPHeader(const BMPHeader& h, bool whole) {
    if (!whole) return HeaderVerdict::TooShort;
    if (h.biBitCount != 24) return HeaderVerdict::Not24Bit;
    if (h.bfType != kBMPSignature) return HeaderVerdict::BadSignature;
    if (h.biCompression != 0) return HeaderVerdict::Compressed;
    if (h.biPlanes != 1) return HeaderVerdict::NotOnePlane;
    if (h.biHeight > INT32_MAX) return HeaderVerdict::TopDown;
    if (h.biWidth > INT32_MAX) return HeaderVerdict::NegativeWidth;
    if (!FileCanStore(h.biWidth, h.biHeight)) return HeaderVerdict::TooLarge;
    return HeaderVerdict::Ok;
}

// Reads the first `size` bytes of a file and judges them.
inline HeaderVerdict JudgeBMPHeader(const uint8_t* bytes, size_t size, BMPHeader& h) {
    const bool whole = DecodeBMPHeader(bytes, size, h);
    return CheckBMPHeader(h, whole);
}

inline ReadStatus ReadStatusFor(HeaderVerdict verdict) {
    switch (verdict) {
        case HeaderVerdict::Ok: return ReadOk;
        case HeaderVerdict::TooShort:
        case HeaderVerdict::Not24Bit: return ReadNot24Bit;
        default: return ReadBadHeader;
    }
}

// The canvas the picture turned by `angle` is written on.
inline Canvas TurnedCanvas(const BMPHeader& h, int32_t angle) { return CanvasFor(h.biWidth, h.biHeight, angle); }

}  // namespace vintrel
