// Password scrambling: the eight bytes that stand for the administrator password
// in the update requests, computed from the password and the station's seed.
#pragma once

#include <cstdint>

// Writes eight bytes into output from the first eight bytes of password and seed.
void ScrambleSecret(std::uint8_t output[8], const char* password, std::uint32_t seed);
