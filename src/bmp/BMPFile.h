// The uncompressed 24-bit Windows bitmap, as read and as written.
//
// File: a 54-byte header (14-byte file header + 40-byte info header, little
// endian, no gaps), then `height` rows of `width` 3-byte pixels, each row
// followed by width % 4 zero bytes. Rows and pixel bytes stay in file order.
//
// ReadBMP checks, in this order: biBitCount == 24 (else ReadNot24Bit), then
// bfType == "BM", biCompression == 0, biPlanes == 1 (else ReadBadHeader).
// Pictures it cannot hold (negative biWidth or biHeight, more than 2^32 - 1
// pixel bytes, no heap) are ReadBadHeader too. Rows are read from bfOffBits;
// a file that ends early leaves the rest of the picture black and still
// reads. A file shorter than the header is checked on a zero-filled block.
// A read or seek that the system fails (an I/O error, not an end of file)
// gives ReadOpenFailed and no picture, as does a folder or a pipe, whose
// reads or seeks fail: there is no file that can be read, and nothing may
// be written from it.
//
// WriteBMP always writes a 40-byte info header, rows at offset 54, 3780
// pixels per metre and biSizeImage 0. Any failed write, flush or close, and
// a picture that has pixels but no buffer, give WriteOpenFailed. An existing
// output is replaced only by a complete file (PlatformBeginOutput), so a
// failure leaves it as it was.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/BMPImage.h"
#include "bmp/BMPLayout.h"
#include "platform/Platform.h"

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
enum WriteStatus : int32_t { WriteOk = 0, WriteOpenFailed = 1 };

void DecodeBMPHeader(const uint8_t (&block)[kBMPHeaderBytes], BMPHeader& header);
void EncodeBMPHeader(const BMPHeader& header, uint8_t (&block)[kBMPHeaderBytes]);

// Reads the first 54 bytes of `stream` into `header`; a stream shorter than
// that gives an all-zero header. False when the system failed the seek or
// the read.
bool ReadBMPHeader(BMPHeader& header, PlatformFile* stream);
void MakeBMPHeader(BMPHeader& header, const BMPImage& image, uint32_t rowPad);

int32_t ReadBMP(const char* fileName, BMPImage* image);
int32_t WriteBMP(const char* fileName, BMPImage* image);

}  // namespace vintrel
