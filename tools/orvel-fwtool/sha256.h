// SHA-256 of a byte string, so a package author can record exactly which file shipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::vector<uint8_t>& bytes_I);

}  // namespace orv
