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

inline bool operator==(const Outcome& a, const Outcome& b) { return a.result == b.result && a.printed == b.printed; }
inline void PrintTo(const Outcome& o, std::ostream* os) {
    *os << o.result << ", " << testing::PrintToString(o.printed);
}

inline Outcome Rotate(const char16_t* input, const char16_t* output, int32_t angle) {
    testing::internal::CaptureStdout();
    const int32_t result = BMPRotate2(input, output, angle);
    return Outcome{result, testing::internal::GetCapturedStdout()};
}

inline Outcome Rotate(const std::string& input, const std::string& output, int32_t angle) {
    const std::u16string in = U16(input), out = U16(output);
    return Rotate(in.c_str(), out.c_str(), angle);
}

}  // namespace testing_support
