// Strict UTF-8, both ways: what a list's text and a Linux name are read by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace host {

// The length of the strict UTF-8 sequence at `at` and its character in `c`,
// or 0 where none starts there (overlong forms and surrogates are none).
inline size_t Utf8SequenceAt(const std::string& text, size_t at, uint32_t& c) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char lead = s[at];
    size_t extra;
    if (lead < 0x80) { c = lead; extra = 0; }
    else if (lead >= 0xC2 && lead <= 0xDF) { c = lead & 0x1Fu; extra = 1; }
    else if (lead >= 0xE0 && lead <= 0xEF) { c = lead & 0x0Fu; extra = 2; }
    else if (lead >= 0xF0 && lead <= 0xF4) { c = lead & 0x07u; extra = 3; }
    else return 0;
    if (at + extra >= text.size()) return 0;
    for (size_t k = 1; k <= extra; ++k) {
        if ((s[at + k] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (s[at + k] & 0x3Fu);
    }
    static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return extra + 1;
}

inline void AppendUtf8(std::string& out, uint32_t c) {
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

}  // namespace host
