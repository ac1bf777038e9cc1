#include "platform/System.h"
#include "platform/windows/Windows.h"

namespace vintrel {
namespace sys {

namespace {

// An unpaired surrogate has no character to convert: the code page's
// default character, or U+FFFD in UTF-8, would name some other file.
bool HasLoneSurrogate(const char16_t* wide) {
    for (size_t i = 0; wide[i] != 0; ++i) {
        if (wide[i] >= 0xD800 && wide[i] <= 0xDBFF && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF)
            ++i;
        else if (wide[i] >= 0xD800 && wide[i] <= 0xDFFF)
            return true;
    }
    return false;
}

}  // namespace

bool WideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
    if (HasLoneSurrogate(wide)) return false;
    const wchar_t* source = reinterpret_cast<const wchar_t*>(wide);
    // Code page 0 is the system's ANSI code page; characters without a narrow
    // form become its default character. Not the "best fit": that would turn
    // "\u0142odz.bmp" into "lodz.bmp", some other file, perhaps one to be
    // overwritten. A UTF-8 ANSI code page has a form for everything and takes
    // no flags.
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int needed = WideCharToMultiByte(CP_ACP, flags, source, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 || static_cast<size_t>(needed) > narrowSize) return false;
    if (WideCharToMultiByte(CP_ACP, flags, source, -1, narrow, needed, nullptr, nullptr) != needed) {
        narrow[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace sys
}  // namespace vintrel
