#include "CodePages.h"

#include <windows.h>

namespace host {

namespace {

unsigned SystemDefault(LCTYPE which, unsigned otherwise) {
    DWORD codePage = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, which | LOCALE_RETURN_NUMBER, reinterpret_cast<LPWSTR>(&codePage),
                       sizeof codePage / sizeof(wchar_t)) == 0 ||
        codePage == 0)
        return otherwise;
    return codePage;
}

}  // namespace

bool HasAnsiForm(const Text& name) {
    const int units = static_cast<int>(name.size());
    if (units == 0) return true;
    // UTF-8 has a form for every character, but none for a lone surrogate.
    if (GetACP() == CP_UTF8)
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name.data(), units, nullptr, 0, nullptr, nullptr) > 0;
    BOOL defaulted = FALSE;
    // As the library converts: no best fit, whose look-alikes name other files.
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), units, nullptr, 0, nullptr, &defaulted) > 0)
        return defaulted == FALSE;
    // Code pages that take no flags (GB 18030, ISO 2022) hold every character.
    return GetLastError() == ERROR_INVALID_FLAGS;
}

unsigned SystemAnsiCodePage() { return SystemDefault(LOCALE_IDEFAULTANSICODEPAGE, CP_ACP); }

unsigned ConsoleCodePage() {
    const UINT console = GetConsoleOutputCP();
    return console != 0 ? console : SystemDefault(LOCALE_IDEFAULTCODEPAGE, CP_OEMCP);
}

Text FromCodePage(unsigned codePage, const std::string& bytes) {
    if (bytes.empty()) return Text();
    const int size = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (size <= 0) return Text();
    Text text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    return text;
}

}  // namespace host
