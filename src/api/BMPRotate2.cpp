// The export: names in, three stages through their forwarding functions, one
// console line per outcome, everything released on every way out.
#include "VintrelBMPRotate2.h"

#include "api/Pipeline.h"
#include "bmp/BMPFile.h"
#include "platform/Platform.h"
#include "rotate/Rotate.h"

namespace vintrel {

BMPImage* SourceImage = nullptr;
BMPImage* RotatedImage = nullptr;

int32_t RunReader(ReaderFn reader, const char* name, BMPImage* image) { return reader(name, image); }
void RunRotator(RotatorFn rotator, BMPImage* source, BMPImage* destination, int32_t angle) {
    rotator(source, destination, angle);
}
int32_t RunWriter(WriterFn writer, const char* name, BMPImage* image) { return writer(name, image); }

// A null name, or one too long for its buffer, is left empty rather than
// shortened (a shortened name would be some other file); empty names never
// open.
void ConvertName(const char16_t* wide, char (&narrow)[kNameBytes]) {
    narrow[0] = '\0';
    if (wide != nullptr) PlatformWideToNarrow(wide, narrow, kNameBytes);
}

namespace {

BMPImage* NewImage() {
    auto* image = static_cast<BMPImage*>(PlatformAlloc(sizeof(BMPImage)));
    if (image != nullptr) *image = BMPImage{0, 0, nullptr};
    return image;
}

void ReleaseImage(BMPImage*& slot) {
    if (slot == nullptr) return;
    ReleasePixels(*slot);
    PlatformFree(slot);
    slot = nullptr;
}

int32_t ReleaseAllAndReturn(int32_t result) {
    ReleaseImage(SourceImage);
    ReleaseImage(RotatedImage);
    return result;
}

int32_t RotateFile(const char16_t* inputPath, const char16_t* outputPath, int32_t angle) {
    char inputName[kNameBytes];
    char outputName[kNameBytes];
    ConvertName(inputPath, inputName);
    ConvertName(outputPath, outputName);

    SourceImage = NewImage();
    RotatedImage = NewImage();
    if (SourceImage == nullptr || RotatedImage == nullptr) {
        // No heap for two small records: nothing can be held, as for a picture
        // too large to read.
        PlatformPrintLine(kInvalidSignature);
        return ReleaseAllAndReturn(-1);
    }

    switch (RunReader(ReadBMP, inputName, SourceImage)) {
        case ReadOk:
            PlatformPrintLine(kReadOk);
            break;
        case ReadNot24Bit:
            PlatformPrintLine(kNot24Bit);
            return ReleaseAllAndReturn(-2);
        case ReadOpenFailed:
            PlatformPrintLine(kNotFound);
            return ReleaseAllAndReturn(-3);
        default:
            PlatformPrintLine(kInvalidSignature);
            return ReleaseAllAndReturn(-1);
    }

    RunRotator(RotateImage, SourceImage, RotatedImage, angle);

    if (RunWriter(WriteBMP, outputName, RotatedImage) != WriteOk) {
        PlatformPrintLine(kWriteFailed);
        return ReleaseAllAndReturn(-1);
    }
    PlatformPrintLine(kWriteOk);
    return ReleaseAllAndReturn(999);
}

}  // namespace
}  // namespace vintrel

// The slots are the module's: a call that comes while another runs waits
// for it, whole, so its lines and files never mix with the other's.
extern "C" BMPROTATE2_API int32_t BMPROTATE2_CALL BMPRotate2(const char16_t* inputPath,
                                                             const char16_t* outputPath, int32_t angle) {
    vintrel::PlatformLockCall();
    const int32_t result = vintrel::RotateFile(inputPath, outputPath, angle);
    vintrel::PlatformUnlockCall();
    return result;
}
