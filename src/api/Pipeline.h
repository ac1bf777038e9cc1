// The pieces of the export that tests reach directly: the stage types, their
// forwarding functions, the image slots and the console texts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/BMPImage.h"
#include "limits/Limits.h"

namespace vintrel {

using ReaderFn = int32_t (*)(const char* fileName, BMPImage* image);
using RotatorFn = void (*)(BMPImage* source, BMPImage* destination, int32_t angle);
using WriterFn = int32_t (*)(const char* fileName, BMPImage* image);

int32_t RunReader(ReaderFn reader, const char* name, BMPImage* image);
void RunRotator(RotatorFn rotator, BMPImage* source, BMPImage* destination, int32_t angle);
int32_t RunWriter(WriterFn writer, const char* name, BMPImage* image);

// Live only while a call runs, which holds the call lock.
extern BMPImage* SourceImage;
extern BMPImage* RotatedImage;

void ConvertName(const char16_t* wide, char (&narrow)[kNameBytes]);

constexpr const char* kReadOk = "File has been read successfully.";
constexpr const char* kInvalidSignature = "File has invalid signature.";
constexpr const char* kNot24Bit = "File has invalid resolution. Program works only with 24-bits bmp format.";
constexpr const char* kNotFound = "File not found.";
constexpr const char* kWriteOk = "File has been written successfully.";
constexpr const char* kWriteFailed = "Error. File cant be written.";

}  // namespace vintrel
