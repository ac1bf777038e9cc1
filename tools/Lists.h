// The text of a -T list as the tools that write lists leave it: UTF-8, with
// or without a byte order mark, UTF-16 with one (PowerShell 5's `>`), and on
// Windows the system's own code pages (Notepad's "ANSI", cmd's `dir /b >`).
#pragma once

#include <string>

namespace host {

// Turns the bytes of a list into UTF-8 in place, before it is split into
// names. False, with why in `why`, for a list that says it is UTF-16 and is not.
bool DecodeList(std::string& bytes, std::string& why);

// Whether `bytes` is UTF-8 throughout (lone surrogates and overlong forms are not).
bool IsUtf8(const std::string& bytes);

// A list that is not UTF-8 and has no byte order mark, in the system's own
// code pages, as UTF-8 (linux/Lists.cpp, windows/Lists.cpp). Where names are
// bytes, it is left as it is.
void LegacyListToUtf8(std::string& bytes);

}  // namespace host
