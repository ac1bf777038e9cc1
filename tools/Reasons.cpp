// The causes the manual's table lists. The input's are the library's own
// verdict on its header (bmp/BMPDecoder.h), read again here as the library
// reads it, so that a reason never disagrees with the status and the line
// the library gave. Memory is found out by asking for the library's buffers
// again; the output's causes from its folder and the room on its disk.
#include "Reasons.h"

#include <cstdlib>

#include "Diagnosis.h"
#include "bmp/BMPDecoder.h"

namespace host {

namespace {

using vintrel::HeaderVerdict;

const char* Says(Trouble trouble) {
    switch (trouble) {
        case Trouble::Missing: return "no such file";
        case Trouble::Denied: return "permission denied";
        case Trouble::Folder: return "is a folder";
        case Trouble::NotFile: return "not a regular file";
        case Trouble::ReadError: return "read error";
        case Trouble::NoFolder: return "folder of the output does not exist";
        case Trouble::DiskFull: return "disk full";
        case Trouble::ReadOnly: return "read-only file system";
        case Trouble::TooLong: return "name too long for the library";
        case Trouble::NoMatch: return "no file matches";
        case Trouble::NotInCodePage: return "name cannot be represented in the ANSI code page";
        case Trouble::InUse: return "in use by another program";
        case Trouble::None: break;
    }
    return "";
}

std::string Says(HeaderVerdict verdict, const vintrel::BMPHeader& header) {
    switch (verdict) {
        case HeaderVerdict::TooShort: return "shorter than a BMP header (54 bytes)";
        case HeaderVerdict::Not24Bit: return std::to_string(header.biBitCount) + " bits per pixel, not a 24-bit BMP";
        case HeaderVerdict::BadSignature: return "not a BMP file";
        case HeaderVerdict::Compressed: return "compressed, not a plain 24-bit BMP";
        case HeaderVerdict::NotOnePlane: return "plane count is not 1";
        case HeaderVerdict::TopDown: return "top-down picture (negative height)";
        case HeaderVerdict::NegativeWidth: return "negative width";
        case HeaderVerdict::TooLarge: return "picture too large for a BMP file";
        case HeaderVerdict::Ok: break;
    }
    return "";
}

// A zero-filled block as the library asks for one; false when the heap
// would not give it. It is handed back at once.
bool HeapGives(uint64_t bytes, void*& block) {
    block = nullptr;
    if (bytes == 0) return true;
    block = std::calloc(1, static_cast<size_t>(bytes));  // bytes < 2^32: a file can store the picture
    return block != nullptr;
}

uint64_t PixelBytes(uint32_t width, uint32_t height) { return 3u * static_cast<uint64_t>(width) * height; }

}  // namespace

Cause CauseOf(const Text& input, const Text& output, int32_t result, int32_t angle) {
    Cause cause;
    if (result == -3) {
        cause.why = Says(InputTrouble(input));
        if (cause.why.empty()) cause.why = "cannot be read";
        return cause;
    }
    if (result != -1 && result != -2) {
        cause.why = "the library returned " + std::to_string(result);
        return cause;
    }
    std::string head;
    ReadHead(input, vintrel::kBMPHeaderBytes, head);
    vintrel::BMPHeader header;
    const HeaderVerdict verdict =
        vintrel::JudgeBMPHeader(reinterpret_cast<const uint8_t*>(head.data()), head.size(), header);
    const vintrel::ReadStatus gave = result == -2 ? vintrel::ReadNot24Bit : vintrel::ReadBadHeader;
    if (verdict != HeaderVerdict::Ok && vintrel::ReadStatusFor(verdict) == gave) {
        cause.why = Says(verdict, header);
        return cause;
    }
    // A header that would give another status now than the library gave.
    if (result == -2 || verdict != HeaderVerdict::Ok) {
        cause.why = "changed since the library read it";
        return cause;
    }

    // A header the library takes: its buffers, in the order it asks for
    // them, then the output. With the library's own buffers gone, this
    // process has the room the library had, give or take what changed
    // since; memory is what failed when the same requests fail now.
    const vintrel::Canvas canvas = vintrel::TurnedCanvas(header, angle);
    void* picture = nullptr;
    void* turned = nullptr;
    if (!HeapGives(PixelBytes(header.biWidth, header.biHeight), picture)) {
        cause.why = "not enough memory to hold the picture";
    } else if (!vintrel::FileCanStore(canvas.width, canvas.height)) {
        cause.ofOutput = true;
        cause.why = "turned picture too large for a BMP file";
    } else if (!HeapGives(PixelBytes(canvas.width, canvas.height), turned)) {
        cause.why = "not enough memory to hold the turned picture";
    }
    std::free(turned);
    std::free(picture);
    if (!cause.why.empty()) return cause;
    cause.ofOutput = true;
    cause.why = Says(OutputTrouble(output, vintrel::StoredFileBytes(canvas.width, canvas.height)));
    if (cause.why.empty()) cause.why = "cannot be written";
    return cause;
}

}  // namespace host
