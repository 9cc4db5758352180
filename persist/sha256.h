// SHA-256 of a byte string, which ties the counters' file to the one world file it belongs to.
#pragma once

#include <string>

// The digest as 64 lower-case hexadecimal digits.
std::string sha256_hex(const std::string &bytes);
