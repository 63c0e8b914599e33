// Checks of a received firmware image: its length, the stand-in image's CRC-32
// trailer, and the SHA-256 that the log reports. Self-contained, no libraries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// CRC-32 as zlib computes it (reflected, polynomial 0xEDB88320).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t length);

// Lower-case hexadecimal SHA-256 of the bytes.
std::string Sha256Hex(const std::uint8_t* data, std::size_t length);

struct ImageVerdict {
    bool whole;          // length equals the announced size and, if a stand-in, the CRC holds
    std::string detail;  // for the log: "crc ok", "crc mismatch ...", "short by N bytes", ...
};

// The stand-in image begins with these eight bytes and ends in a CRC-32 of the rest.
constexpr char STAND_IN_MAGIC[] = "LGFWIMG1";

ImageVerdict CheckReceivedImage(const std::vector<std::uint8_t>& image, std::uint32_t announcedSize);
