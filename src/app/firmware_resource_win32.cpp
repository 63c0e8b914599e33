// Win32 source of the firmware image: a read-only view of the program's own resource
// FIRMBIN 110, valid for the whole run. Needs KERNEL32's resource functions.
#include <windows.h>

#include "app/firmware_image.h"
#include "resource.h"

std::uint32_t LoadFirmwareImage() {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(IDR_FIRMWARE), RT_FIRMBIN_NAME);
    if (resource == nullptr) {
        return 0;
    }
    const DWORD count = SizeofResource(module, resource);
    if (count == 0) {
        return 0;
    }
    const HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr) {
        return 0;
    }
    const void* bytes = LockResource(loaded);
    if (bytes == nullptr) {
        return 0;
    }
    firmwareImage.bytes = static_cast<const std::uint8_t*>(bytes);
    firmwareImage.count = count;
    return count;
}
