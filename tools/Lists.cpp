#include "Lists.h"

#include <cstdint>

#include "Utf8.h"

namespace host {

namespace {

// UTF-16 after its byte order mark, in the order the mark gave.
bool Utf16ToUtf8(const std::string& bytes, bool bigEndian, std::string& utf8) {
    if (bytes.size() % 2 != 0) return false;
    const auto unit = [&](size_t i) {
        const auto a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
        return static_cast<uint32_t>(bigEndian ? a << 8 | b : b << 8 | a);
    };
    utf8.clear();
    for (size_t i = 2; i < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xDC00 && c <= 0xDFFF) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 2 >= bytes.size()) return false;
            const uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(utf8, c);
    }
    return true;
}

}  // namespace

bool IsUtf8(const std::string& bytes) {
    uint32_t c;
    for (size_t at = 0; at < bytes.size();) {
        const size_t n = Utf8SequenceAt(bytes, at, c);
        if (n == 0) return false;
        at += n;
    }
    return true;
}

bool DecodeList(std::string& bytes, std::string& why) {
    const auto starts = [&](const char* mark, size_t size) { return bytes.compare(0, size, mark, size) == 0; };
    // A mark no name begins with: Notepad's and PowerShell's UTF-8 put it first.
    if (starts("\xEF\xBB\xBF", 3)) {
        bytes.erase(0, 3);
        return true;
    }
    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2)) {
        std::string utf8;
        if (!Utf16ToUtf8(bytes, bytes[0] == '\xFE', utf8)) {
            why = "begins as UTF-16 but is not (an odd byte or a lone surrogate)";
            return false;
        }
        bytes.swap(utf8);
        return true;
    }
    if (!IsUtf8(bytes)) LegacyListToUtf8(bytes);
    return true;
}

}  // namespace host
