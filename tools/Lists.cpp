#include "Lists.h"

#include <cstdint>

namespace host {

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

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
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0, size = bytes.size(); i < size;) {
        const unsigned char lead = s[i];
        size_t extra;
        uint32_t c;
        if (lead < 0x80) { c = lead; extra = 0; }
        else if (lead >= 0xC2 && lead <= 0xDF) { c = lead & 0x1Fu; extra = 1; }
        else if (lead >= 0xE0 && lead <= 0xEF) { c = lead & 0x0Fu; extra = 2; }
        else if (lead >= 0xF0 && lead <= 0xF4) { c = lead & 0x07u; extra = 3; }
        else return false;
        if (i + extra >= size && extra > 0) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            c = c << 6 | (s[i + k] & 0x3Fu);
        }
        static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += extra + 1;
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
