// SHA-256 (FIPS 180-4), for comparing written files with the golden list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// Lower-case hexadecimal digest of `bytes`.
std::string Sha256Hex(const std::vector<uint8_t>& bytes);

}  // namespace testing_support
