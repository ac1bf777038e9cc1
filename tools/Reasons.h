// Why a picture failed, found out by the program itself, for the line it adds
// to the library's.
#pragma once

#include <cstdint>
#include <string>

#include "Host.h"

namespace host {

struct Cause {
    bool ofOutput = false;  // the output's, not the input's
    std::string why;
};

Cause CauseOf(const Text& input, const Text& output, int32_t result, int32_t angle);

}  // namespace host
