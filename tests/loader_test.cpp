// The real shared library, loaded and unloaded as the platform does it, with
// the export working while it is loaded.
#include <gtest/gtest.h>

#include <string>

#include "support/Call.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using namespace testing_support;

namespace {

#if defined(_WIN32)
// Beside this program, as an application ships it.
std::wstring LibraryPath() {
    wchar_t self[MAX_PATH];
    std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"" VINTREL_LIBRARY_W;
}
void* Load() { return LoadLibraryW(LibraryPath().c_str()); }
BMPRotate2Fn Export(void* library) {
    return reinterpret_cast<BMPRotate2Fn>(
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), "BMPRotate2")));
}
bool Unload(void* library) { return FreeLibrary(static_cast<HMODULE>(library)) != 0; }
bool StillLoaded() { return GetModuleHandleW(LibraryPath().c_str()) != nullptr; }
#else
void* Load() { return dlopen(VINTREL_LIBRARY, RTLD_NOW | RTLD_LOCAL); }
BMPRotate2Fn Export(void* library) { return reinterpret_cast<BMPRotate2Fn>(dlsym(library, "BMPRotate2")); }
bool Unload(void* library) { return dlclose(library) == 0; }
bool StillLoaded() {
    void* library = dlopen(VINTREL_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (library != nullptr) dlclose(library);
    return library != nullptr;
}
#endif

// Under the sanitizers this also proves the detach: one that never ran would
// leave its registration object leaked.
TEST(Loader, LoadRotateUnloadRepeatedly) {
    TempDir dir;
    const Picture picture = DistinctPicture(9, 5);
    const std::string input = dir.File("in.bmp"), output = dir.File("out.bmp");
    WriteFile(input, EncodeBMP(picture));
    const std::u16string in = U16(input), out = U16(output);
    for (int round = 0; round < 4; ++round) {
        void* library = Load();
        ASSERT_NE(library, nullptr) << "round " << round;
        const BMPRotate2Fn rotate = Export(library);
        ASSERT_NE(rotate, nullptr);
        const int32_t angle = 30 * round + 15;
        testing::internal::CaptureStdout();
        const int32_t result = rotate(in.c_str(), out.c_str(), angle);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(kReadLine) + kWrittenLine);
        EXPECT_EQ(result, 999);
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(output)), ReferenceRotate(picture, angle)) << angle;
        EXPECT_TRUE(Unload(library));
        EXPECT_FALSE(StillLoaded()) << "unloading must run the detach, so nothing may pin the library";
    }
}

}  // namespace
