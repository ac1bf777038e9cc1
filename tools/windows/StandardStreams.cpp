// "-" on Windows: standard input as the picture read, standard output in
// binary mode as the picture written. The library prints through the same
// C runtime (msvcrt.dll), so its lines follow descriptor 1 to standard error.
#include "../StandardStreams.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

namespace host {

namespace {

bool Copy(FILE* from, FILE* to) {
    char block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, from)) > 0)
        if (std::fwrite(block, 1, got, to) != got) return false;
    return !std::ferror(from);
}

}  // namespace

bool MakeScratch(Text& folder) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return false;
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const Text name = Text(temp, n) + L"bmprotate2-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(GetTickCount() + attempt);
        if (CreateDirectoryW(name.c_str(), nullptr)) {
            folder = name;
            return true;
        }
    }
    return false;
}

void RemoveScratch(const Text& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

Saved SaveStandardInput(const Text& path) {
    FILE* file = _wfopen(path.c_str(), L"wbx");
    if (file == nullptr) return Saved::WriteFailed;
    _setmode(_fileno(stdin), _O_BINARY);
    char block[65536];
    size_t got;
    bool written = true;
    while (written && (got = std::fread(block, 1, sizeof block, stdin)) > 0)
        written = std::fwrite(block, 1, got, file) == got;
    const bool read = !std::ferror(stdin);
    written = std::fclose(file) == 0 && written;
    return !written ? Saved::WriteFailed : read ? Saved::Whole : Saved::ReadFailed;
}

bool NamesStandardOutput(const Text&) { return false; }

bool SendToStandardOutput(const Text& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return false;
    _setmode(_fileno(stdout), _O_BINARY);
    const bool copied = Copy(file, stdout) && std::fflush(stdout) == 0;
    std::fclose(file);
    return copied;
}

LinesToStderr::LinesToStderr() : saved_(-1) {
    std::fflush(stdout);
    saved_ = _dup(_fileno(stdout));
    if (saved_ >= 0) _dup2(_fileno(stderr), _fileno(stdout));
}

LinesToStderr::~LinesToStderr() {
    std::fflush(stdout);
    if (saved_ < 0) return;
    _dup2(saved_, _fileno(stdout));
    _close(saved_);
}

}  // namespace host
