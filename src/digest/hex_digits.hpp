#pragma once

#include <cstddef>
#include <string>

/// `size` bytes at `bytes` as lowercase hexadecimal digits, two a byte.
std::string hexDigits(const unsigned char* bytes, std::size_t size);
