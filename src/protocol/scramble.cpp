// Password scrambling: two XOR chains over key bytes derived from the seed.
#include "protocol/scramble.h"

void ScrambleSecret(std::uint8_t output[8], const char* password, std::uint32_t seed) {
    std::uint8_t key[8];
    for (int i = 0; i < 4; ++i) key[i] = static_cast<std::uint8_t>(seed >> (8 * i));
    for (int i = 0; i < 4; ++i) key[4 + i] = static_cast<std::uint8_t>(key[i] * (key[i] ^ key[3 - i]));

    const auto* p = reinterpret_cast<const std::uint8_t*>(password);
    for (int i = 0; i < 4; ++i) {
        key[0] ^= p[2 * i];
        for (int k = 1; k <= i; ++k) key[2 * k] ^= key[2 * k - 2];
        output[i] = key[2 * i];
        key[1] ^= p[2 * i + 1];
        for (int k = 1; k <= i; ++k) key[2 * k + 1] ^= key[2 * k - 1];
        output[7 - i] = key[2 * i + 1];
    }
}
