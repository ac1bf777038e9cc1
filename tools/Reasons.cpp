// The causes the manual's table lists: the input's, from its header and its
// file; the output's, from its folder and the room on its disk.
#include "Reasons.h"

#include <cmath>

#include "Files.h"

namespace host {

namespace {

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

// A little-endian field of the header, byte by byte: the file's order on
// every machine, big-endian ones included.
template <typename T>
T At(const std::string& head, size_t offset) {
    uint32_t value = 0;
    if (offset + sizeof(T) <= head.size())
        for (size_t i = sizeof(T); i-- > 0;) value = value << 8 | static_cast<uint8_t>(head[offset + i]);
    return static_cast<T>(value);
}

uint64_t StoredBytes(uint64_t width, uint64_t height) { return 54 + (width * 3 + 3) / 4 * 4 * height; }

// The library's canvas, near enough to ask the disk for room.
uint64_t TurnedBytes(int32_t width, int32_t height, int32_t angle) {
    const double a = static_cast<double>(angle) * (3.14159265 / 180.0);
    const double c = std::fabs(std::cos(a)), s = std::fabs(std::sin(a));
    return StoredBytes(static_cast<uint64_t>(width * c + height * s), static_cast<uint64_t>(height * c + width * s));
}

// What is wrong with a header the library refused; "" when nothing is.
std::string HeaderFault(const std::string& head) {
    if (head.size() < 34 || head.compare(0, 2, "BM") != 0) return "not a BMP file";
    if (At<uint16_t>(head, 28) != 24) return std::to_string(At<uint16_t>(head, 28)) + " bits per pixel, not a 24-bit BMP";
    if (At<uint32_t>(head, 30) != 0) return "compressed, not a plain 24-bit BMP";
    if (At<uint16_t>(head, 26) != 1) return "plane count is not 1";
    const int32_t width = At<int32_t>(head, 18), height = At<int32_t>(head, 22);
    if (height < 0) return "top-down picture (negative height)";
    if (width < 0) return "negative width";
    if (StoredBytes(static_cast<uint64_t>(width), static_cast<uint64_t>(height)) - 54 > 0xFFFFFFFFu)
        return "picture too large";
    return "";
}

}  // namespace

Cause CauseOf(const Text& input, const Text& output, int32_t result, int32_t angle) {
    Cause cause;
    std::string head;
    if (result == -3) {
        cause.why = Says(InputTrouble(input));
        if (cause.why.empty()) cause.why = "cannot be read";
        return cause;
    }
    if (result != -1 && result != -2) {
        cause.why = "the library returned " + std::to_string(result);
        return cause;
    }
    ReadHead(input, 54, head);
    cause.why = HeaderFault(head);
    if (!cause.why.empty()) return cause;
    cause.ofOutput = true;
    const uint64_t bytes = TurnedBytes(At<int32_t>(head, 18), At<int32_t>(head, 22), angle);
    if (bytes > 0xFFFFFFFFu) {
        cause.why = "turned picture too large for a BMP file";
        return cause;
    }
    cause.why = Says(OutputTrouble(output, bytes));
    if (cause.why.empty()) cause.why = "cannot be written";
    return cause;
}

}  // namespace host
