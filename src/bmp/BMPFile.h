// The uncompressed 24-bit Windows bitmap, as read and as written.
//
// File: a 54-byte header (14-byte file header + 40-byte info header, little
// endian, no gaps), then `height` rows of `width` 3-byte pixels, each row
// followed by width % 4 zero bytes. Rows and pixel bytes stay in file order.
//
// ReadBMP judges the header as BMPDecoder.h says (ReadNot24Bit or
// ReadBadHeader for a file it refuses); a picture whose buffer the heap
// cannot give is ReadBadHeader too. Rows are read from bfOffBits; a file
// that ends early leaves the rest of the picture black and still reads.
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
#include "bmp/BMPDecoder.h"
#include "bmp/BMPLayout.h"
#include "platform/Platform.h"

namespace vintrel {

enum WriteStatus : int32_t { WriteOk = 0, WriteOpenFailed = 1 };

void EncodeBMPHeader(const BMPHeader& header, uint8_t (&block)[kBMPHeaderBytes]);

// Reads the first 54 bytes of `stream` and judges them (BMPDecoder.h);
// false when the system failed the seek or the read.
bool ReadBMPHeader(PlatformFile* stream, BMPHeader& header, HeaderVerdict& verdict);
void MakeBMPHeader(BMPHeader& header, const BMPImage& image, uint32_t rowPad);

int32_t ReadBMP(const char* fileName, BMPImage* image);
int32_t WriteBMP(const char* fileName, BMPImage* image);

}  // namespace vintrel
