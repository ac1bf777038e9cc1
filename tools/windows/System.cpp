// The host program's system services on Windows.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "../Host.h"

namespace host {

const wchar_t kSeparator = L'\\';

// UTF-8 for messages; the option words are ASCII either way.
std::string Narrow(const Text& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return std::string("?");
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

bool FromUtf8(const std::string& utf8, Text& text) {
    text.clear();
    if (utf8.empty()) return true;
    const int size =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (size <= 0) return false;
    text.resize(static_cast<size_t>(size));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), &text[0], size);
    return true;
}

namespace {

// The folders the library is looked for in, and why the last look failed.
Text ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return Text();
    const Text self(path, n);
    return self.substr(0, self.find_last_of(L"\\/") + 1);
}

Text SystemFolder() {
    wchar_t path[MAX_PATH];
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? Text() : Text(path, n) + L"\\";
}

DWORD loadError = ERROR_SUCCESS;

}  // namespace

BMPRotate2Fn LoadExport() {
    // Beside this program, as an application ships its DLL, or else in the
    // system folder: never the current folder or PATH, where anyone may have
    // planted a DLL of that name.
    HMODULE library = LoadLibraryExW(L"" VINTREL_LIBRARY_FILE_W, nullptr,
                                     LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows Vista, and 7 without KB2533623, have no such flags: the same
    // two places by full path.
    if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER)
        for (const Text& folder : {ProgramFolder(), SystemFolder()})
            if (library == nullptr && !folder.empty())
                library = LoadLibraryExW((folder + VINTREL_LIBRARY_FILE_W).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    FARPROC found = library != nullptr ? GetProcAddress(library, "BMPRotate2") : nullptr;
    if (found == nullptr) loadError = GetLastError();
    return reinterpret_cast<BMPRotate2Fn>(reinterpret_cast<void*>(found));
}

std::string LibraryNotLoaded() {
    std::string why;
    wchar_t* text = nullptr;
    if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, loadError, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr) > 0 && text != nullptr) {
        why = Narrow(text);
        LocalFree(text);
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) why.pop_back();
    } else {
        why = "error " + std::to_string(loadError);
    }
    return VINTREL_LIBRARY_FILE ", looked for in " + Narrow(ProgramFolder()) + " and " + Narrow(SystemFolder()) + ": " +
           why;
}

std::string Shown(const Text& name) { return Narrow(name); }

bool DescribeLibrary(BMPRotate2Fn rotate, std::string& file, std::string& version) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(rotate)), &module))
        return false;
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return false;
    file = Narrow(std::wstring(path, n));
    version = "unknown";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::string info(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size > 0 && GetFileVersionInfoW(path, 0, size, &info[0]) &&
        VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr)
        version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
                  "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
    return true;
}

std::u16string ToWide(const Text& text) { return std::u16string(text.begin(), text.end()); }

bool IsFolder(const Text& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

unsigned ProcessorsOnline() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1u;
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool ReadWhole(const Text& path, std::string& bytes) {
    const bool standardInput = path == L"-";
    FILE* file = standardInput ? stdin : _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return false;
    if (standardInput) _setmode(_fileno(stdin), _O_BINARY);
    char block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
    const bool ok = !std::ferror(file);
    if (!standardInput) std::fclose(file);
    return ok;
}

size_t OwnNameStart(const Text& path) {
    const size_t at = path.find_last_of(L"\\/:");
    return at == std::wstring::npos ? 0 : at + 1;
}

// The file systems compare names without regard to case.
bool SameOwnName(const Text& a, const Text& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}
bool OwnNameLess(const Text& a, const Text& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
}

bool IdentifyFile(const Text& path, FileId& id) {
    // No access asked: only the file's identity is read, whoever holds it open.
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (known) id = FileId{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    return known;
}

}  // namespace host
