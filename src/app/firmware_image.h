// The one firmware image the program carries: a read-only view of the program's
// own resource for the whole run (set by the host before the dialog runs).
#pragma once

#include <cstdint>

struct FirmwareImage {
    const std::uint8_t* bytes;
    std::uint32_t count;
};

extern FirmwareImage firmwareImage;

// Fills firmwareImage from the program's resource; returns its count, 0 on failure.
// Implemented by the host (Win32: resource FIRMBIN 110).
std::uint32_t LoadFirmwareImage();
