#include "bmp/BMPFile.h"

#include <cstring>

namespace vintrel {
namespace {

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Padded rows move through a block of whole rows, a few hundred calls for a
// large picture rather than two per row: some systems give a stream a buffer
// of a few KiB whatever size is asked for. Without memory for the block,
// they move row by row.
constexpr size_t kBlockBytes = size_t{256} << 10;

uint32_t RowsPerBlock(size_t fileRow, uint32_t height) {
    const size_t rows = fileRow < kBlockBytes ? kBlockBytes / fileRow : 1;
    return rows < height ? static_cast<uint32_t>(rows) : height;
}

// Rows straight into the picture when rows carry no pad. Bytes the file does
// not have stay zero; false only when the system failed a read.
bool ReadRows(PlatformFile* file, BMPImage& image) {
    const size_t rowBytes = 3u * static_cast<size_t>(image.width);
    const uint32_t pad = RowPad(image.width);
    bool failed = false;
    if (pad == 0) {
        PlatformRead(image.pixels, 1, rowBytes * image.height, file, failed);
        return !failed;
    }
    const size_t fileRow = rowBytes + pad;
    const uint32_t perBlock = RowsPerBlock(fileRow, image.height);
    auto* block = static_cast<uint8_t*>(PlatformAlloc(perBlock * fileRow));
    if (block == nullptr) {
        uint8_t skipped[3];
        for (uint32_t y = 0; y < image.height; ++y) {
            if (PlatformRead(PixelAt(image, 0, y), 1, rowBytes, file, failed) != rowBytes) break;
            if (PlatformRead(skipped, 1, pad, file, failed) != pad) break;
        }
        return !failed;
    }
    for (uint32_t y = 0; y < image.height; y += perBlock) {
        const uint32_t rows = image.height - y < perBlock ? image.height - y : perBlock;
        const size_t want = rows * fileRow;
        const size_t got = PlatformRead(block, 1, want, file, failed);
        for (uint32_t r = 0; r < rows && got > r * fileRow; ++r) {
            const size_t there = got - r * fileRow;
            std::memcpy(PixelAt(image, 0, y + r), block + r * fileRow, there < rowBytes ? there : rowBytes);
        }
        if (got != want) break;
    }
    PlatformFree(block);
    return !failed;
}

bool WriteRows(PlatformOutput& output, const BMPImage& image) {
    const size_t rowBytes = 3u * static_cast<size_t>(image.width);
    const uint32_t pad = RowPad(image.width);
    if (pad == 0) {
        const size_t all = rowBytes * image.height;
        return PlatformOutputWrite(output, image.pixels, all) == all;
    }
    if (PlatformCanGatherRows()) return PlatformOutputWriteRows(output, image.pixels, rowBytes, pad, image.height);
    const size_t fileRow = rowBytes + pad;
    const uint32_t perBlock = RowsPerBlock(fileRow, image.height);
    auto* block = static_cast<uint8_t*>(PlatformAlloc(perBlock * fileRow));
    if (block == nullptr) {
        static const uint8_t zeros[3] = {0, 0, 0};
        for (uint32_t y = 0; y < image.height; ++y) {
            if (PlatformOutputWrite(output, PixelAt(image, 0, y), rowBytes) != rowBytes) return false;
            if (PlatformOutputWrite(output, zeros, pad) != pad) return false;
        }
        return true;
    }
    bool ok = true;
    for (uint32_t y = 0; ok && y < image.height; y += perBlock) {
        const uint32_t rows = image.height - y < perBlock ? image.height - y : perBlock;
        for (uint32_t r = 0; r < rows; ++r) {
            uint8_t* to = block + r * fileRow;
            std::memcpy(to, PixelAt(image, 0, y + r), rowBytes);
            std::memset(to + rowBytes, 0, pad);
        }
        ok = PlatformOutputWrite(output, block, rows * fileRow) == rows * fileRow;
    }
    PlatformFree(block);
    return ok;
}

}  // namespace

void EncodeBMPHeader(const BMPHeader& h, uint8_t (&b)[kBMPHeaderBytes]) {
    Put16(b + 0, h.bfType);
    Put32(b + 2, h.bfSize);
    Put16(b + 6, h.bfReserved1);
    Put16(b + 8, h.bfReserved2);
    Put32(b + 10, h.bfOffBits);
    Put32(b + 14, h.biSize);
    Put32(b + 18, h.biWidth);
    Put32(b + 22, h.biHeight);
    Put16(b + 26, h.biPlanes);
    Put16(b + 28, h.biBitCount);
    Put32(b + 30, h.biCompression);
    Put32(b + 34, h.biSizeImage);
    Put32(b + 38, h.biXPelsPerMeter);
    Put32(b + 42, h.biYPelsPerMeter);
    Put32(b + 46, h.biClrUsed);
    Put32(b + 50, h.biClrImportant);
}

bool ReadBMPHeader(PlatformFile* stream, BMPHeader& header, HeaderVerdict& verdict) {
    uint8_t block[kBMPHeaderBytes] = {};
    bool failed = !PlatformSeek(stream, 0, SeekFromStart);
    const size_t got = failed ? 0 : PlatformRead(block, 1, sizeof block, stream, failed);
    verdict = JudgeBMPHeader(block, got, header);
    return !failed;
}

void MakeBMPHeader(BMPHeader& header, const BMPImage& image, uint32_t rowPad) {
    header = BMPHeader{};
    header.bfType = kBMPSignature;
    header.bfSize = static_cast<uint32_t>(kBMPHeaderBytes + static_cast<uint64_t>(image.height) *
                                                                 (3u * static_cast<uint64_t>(image.width) + rowPad));
    header.bfOffBits = kBMPHeaderBytes;
    header.biSize = 40;
    header.biWidth = image.width;
    header.biHeight = image.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biXPelsPerMeter = 3780;
    header.biYPelsPerMeter = 3780;
}

int32_t ReadBMP(const char* fileName, BMPImage* image) {
    image->width = image->height = 0;
    image->pixels = nullptr;
    PlatformFile* file = PlatformOpen(fileName, "rb");
    if (file == nullptr) return ReadOpenFailed;

    // A read or seek the system fails is no file that ends early: rows made
    // black from it would be written, and over the input itself they would
    // replace the only good copy. To the caller the file cannot be read,
    // which is what ReadOpenFailed says. A folder opens on some systems but
    // its read fails (EISDIR), and a pipe cannot seek: neither is a file.
    BMPHeader header;
    HeaderVerdict verdict;
    const int32_t status = ReadBMPHeader(file, header, verdict) ? ReadStatusFor(verdict) : ReadOpenFailed;
    if (status != ReadOk) {
        PlatformClose(file);
        return status;
    }
    image->width = header.biWidth;
    image->height = header.biHeight;
    if (!AttachPixels(*image)) {
        image->width = image->height = 0;
        PlatformClose(file);
        return ReadBadHeader;
    }
    const bool read =
        !HasPixels(*image) || (PlatformSeek(file, header.bfOffBits, SeekFromStart) && ReadRows(file, *image));
    PlatformClose(file);
    if (read) return ReadOk;
    ReleasePixels(*image);
    image->width = image->height = 0;
    return ReadOpenFailed;
}

int32_t WriteBMP(const char* fileName, BMPImage* image) {
    if (HasPixels(*image) && image->pixels == nullptr) return WriteOpenFailed;
    if (!FileCanStore(image->width, image->height)) return WriteOpenFailed;

    // The picture goes to a temporary that replaces the output only once it
    // is whole: a failure (full storage, say) leaves the old file, which may
    // be the very picture just read, as it was.
    const uint32_t pad = RowPad(image->width);
    PlatformOutput output;
    if (!PlatformBeginOutput(fileName, StoredFileBytes(image->width, image->height), output)) return WriteOpenFailed;

    BMPHeader header;
    MakeBMPHeader(header, *image, pad);
    uint8_t block[kBMPHeaderBytes];
    EncodeBMPHeader(header, block);

    bool ok = PlatformOutputWrite(output, block, sizeof block) == sizeof block;
    if (ok && HasPixels(*image)) ok = WriteRows(output, *image);
    ok = ok && PlatformFlush(output.file);  // nothing of a failed write goes on to the file
    return PlatformEndOutput(output, ok) ? WriteOk : WriteOpenFailed;
}

}  // namespace vintrel
