// Text loading and formatting. Texts are code page 932: a cut never splits a
// double-byte character.
#include "ui/texts.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr int LONGEST_TEXT = 1024;   // room for any text of the table
constexpr int FORMAT_SCRATCH = 4096;  // room for any formatted text before its cut

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

int CopyTextCut(char* buffer, int size, const char* text) {
    if (size <= 0) return 0;
    int length = 0;
    while (text[length] != '\0') {
        const int width = IsLeadByte(static_cast<unsigned char>(text[length])) && text[length + 1] != '\0' ? 2 : 1;
        if (length + width > size - 1) break;
        length += width;
    }
    std::memmove(buffer, text, static_cast<std::size_t>(length));
    buffer[length] = '\0';
    return length;
}

int LoadText(TextId id, char* buffer, int size) {
    char whole[LONGEST_TEXT];
    if (LoadTextResource(id, whole, LONGEST_TEXT) <= 0) whole[0] = '\0';
    return CopyTextCut(buffer, size, whole);
}

int FormatText(char* buffer, int size, const char* format, ...) {
    char whole[FORMAT_SCRATCH];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(whole, sizeof whole, format, args);
    va_end(args);
    if (written < 0) whole[0] = '\0';
    return CopyTextCut(buffer, size, whole);
}
