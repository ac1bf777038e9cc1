// Calls the export as a host does and keeps what it printed.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "VintrelBMPRotate2.h"

namespace testing_support {

struct Outcome {
    int32_t result;
    std::string printed;
};

inline Outcome Rotate(const char16_t* input, const char16_t* output, int32_t angle) {
    testing::internal::CaptureStdout();
    const int32_t result = BMPRotate2(input, output, angle);
    return Outcome{result, testing::internal::GetCapturedStdout()};
}

inline Outcome Rotate(const std::string& input, const std::string& output, int32_t angle) {
    const std::u16string in = U16(input), out = U16(output);
    return Rotate(in.c_str(), out.c_str(), angle);
}

constexpr const char* kReadLine = "File has been read successfully.\n";
constexpr const char* kBadLine = "File has invalid signature.\n";
constexpr const char* kDepthLine = "File has invalid resolution. Program works only with 24-bits bmp format.\n";
constexpr const char* kMissingLine = "File not found.\n";
constexpr const char* kWrittenLine = "File has been written successfully.\n";
constexpr const char* kUnwritableLine = "Error. File cant be written.\n";

}  // namespace testing_support
