// The real shared library, loaded and unloaded as the platform does it, with
// the export working while it is loaded.
#include <gtest/gtest.h>

#include <cstddef>
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

// A call through the resolved pointer, and the change in the stack pointer
// across it. On 32-bit x86 the callee pops its arguments (__stdcall): a
// caller whose idea of the convention differs from the DLL's is left with a
// stack pointer off by the 12 bytes of arguments. Way 0 is the compiler's
// call through the header's BMPRotate2Fn type; way 1 pushes the arguments by
// hand with the stack `misalign` bytes off a 16-byte boundary, as callers
// built by other compilers may leave it (Windows promises only 4 bytes).
struct Call {
    BMPRotate2Fn rotate;
    const char16_t* in;
    const char16_t* out;
    int32_t angle;
    uint32_t misalign;
};

#if defined(_WIN32) && defined(__i386__)
constexpr int kWays = 2;

int32_t Invoke(const Call& call, int way, ptrdiff_t& drift) {
    int32_t result;
    if (way == 0) {
        uintptr_t before, after;
        __asm__ volatile("movl %%esp, %0" : "=r"(before)::"memory");
        result = call.rotate(call.in, call.out, call.angle);
        __asm__ volatile("movl %%esp, %0" : "=r"(after)::"memory");
        drift = static_cast<ptrdiff_t>(after - before);
        return result;
    }
    // edi keeps the caller's stack, esi the stack before the pushes; both
    // survive the call, so the stack comes back whatever the callee popped.
    __asm__ volatile(
        "movl %%esp, %%edi\n\t"
        "andl $-16, %%esp\n\t"
        "subl $4, %%esp\n\t"
        "subl %c[misalign](%%ebx), %%esp\n\t"
        "movl %%esp, %%esi\n\t"
        "pushl %c[angle](%%ebx)\n\t"
        "pushl %c[out](%%ebx)\n\t"
        "pushl %c[in](%%ebx)\n\t"
        "call *%c[rotate](%%ebx)\n\t"
        "movl %%esp, %%edx\n\t"
        "subl %%esi, %%edx\n\t"
        "movl %%edi, %%esp"
        : "=a"(result), "=d"(drift)
        : "b"(&call), [rotate] "i"(offsetof(Call, rotate)), [in] "i"(offsetof(Call, in)),
          [out] "i"(offsetof(Call, out)), [angle] "i"(offsetof(Call, angle)),
          [misalign] "i"(offsetof(Call, misalign))
        : "ecx", "esi", "edi", "memory", "cc");
    return result;
}
#else
constexpr int kWays = 1;

int32_t Invoke(const Call& call, int, ptrdiff_t& drift) {
    drift = 0;
    return call.rotate(call.in, call.out, call.angle);
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
        for (int way = 0; way < kWays; ++way) {
            const Call call{rotate, in.c_str(), out.c_str(), angle, 4u * uint32_t(round)};
            ptrdiff_t drift = 0;
            testing::internal::CaptureStdout();
            const int32_t result = Invoke(call, way, drift);
            EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(kReadLine) + kWrittenLine);
            EXPECT_EQ(result, 999);
            EXPECT_EQ(drift, 0) << "way " << way << ": the stack pointer moved across the call";
            EXPECT_EQ(DecodeWrittenBMP(ReadFile(output)), ReferenceRotate(picture, angle)) << angle;
        }
        EXPECT_TRUE(Unload(library));
        EXPECT_FALSE(StillLoaded()) << "unloading must run the detach, so nothing may pin the library";
    }
}

}  // namespace
