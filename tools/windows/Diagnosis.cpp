// What the program finds out about files on Windows. The library converts
// names to the ANSI code page into its 200-byte buffers; a longer name is
// refused by it, and the reason says so (no descriptor reaches a file here).
#include "../Diagnosis.h"
#include "../LibraryNames.h"

#include <windows.h>

#include <cstdio>

#include "CodePages.h"

namespace host {

namespace {

bool FitsTheLibrary(const Text& path) {
    const int bytes = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    return bytes > 0 && static_cast<size_t>(bytes) <= kLibraryNameBytes + 1;
}

Trouble FromError(DWORD error, Trouble otherwise) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return Trouble::Missing;
        case ERROR_PATH_NOT_FOUND: return Trouble::NoFolder;
        case ERROR_ACCESS_DENIED: return Trouble::Denied;
        case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return Trouble::InUse;
        case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return Trouble::DiskFull;
        case ERROR_WRITE_PROTECT: return Trouble::ReadOnly;
        case ERROR_FILENAME_EXCED_RANGE: return Trouble::TooLong;
        default: return otherwise;
    }
}

Text FolderOf(const Text& path) {
    const size_t own = OwnNameStart(path);
    return own == 0 ? Text(L".") : path.substr(0, own);
}

}  // namespace

Trouble InputTrouble(const Text& path) {
    // The start-up code expands wildcards; one left in a name matched nothing.
    if (path.find_first_of(L"*?") != Text::npos) return Trouble::NoMatch;
    if (!HasAnsiForm(path)) return Trouble::NotInCodePage;
    if (!FitsTheLibrary(path)) return Trouble::TooLong;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_PATH_NOT_FOUND ? Trouble::Missing : FromError(error, Trouble::ReadError);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Trouble::Folder;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FromError(GetLastError(), Trouble::ReadError);
    const bool disk = GetFileType(file) == FILE_TYPE_DISK;
    char byte;
    DWORD got = 0;
    const bool read = ReadFile(file, &byte, 1, &got, nullptr) != 0;
    CloseHandle(file);
    return !disk ? Trouble::NotFile : read ? Trouble::None : Trouble::ReadError;
}

bool ReadHead(const Text& path, size_t size, std::string& bytes) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return false;
    bytes.assign(size, '\0');
    bytes.resize(std::fread(&bytes[0], 1, size, file));
    std::fclose(file);
    return true;
}

Trouble OutputTrouble(const Text& path, uint64_t bytes) {
    if (!HasAnsiForm(path)) return Trouble::NotInCodePage;
    if (!FitsTheLibrary(path)) return Trouble::TooLong;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Trouble::Folder;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return Trouble::Denied;
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // Replacing it writes it and takes its name away: another program
        // that holds it open without sharing both stands in the way.
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return FromError(GetLastError(), Trouble::None);
        CloseHandle(file);
    }
    const Text folder = FolderOf(path);
    const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES || (folderAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return Trouble::NoFolder;
    ULARGE_INTEGER free;
    if (GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr) && free.QuadPart < bytes) return Trouble::DiskFull;
    return Trouble::None;
}

bool Exists(const Text& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace host
