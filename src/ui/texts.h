// The text table: every text the program shows, by TextId, in code page 932.
#pragma once

#include <cstdint>

using TextId = std::uint16_t;

// Buffer sizes by use (bytes).
constexpr int STATUS_BUFFER = 512;
constexpr int CAPTION_BUFFER = 256;
constexpr int LABEL_BUFFER = 64;

// Copies text id into buffer, cut at the last whole character that fits in
// size - 1 bytes, and terminates it. Returns the length; 0 (empty) for no such text.
int LoadText(TextId id, char* buffer, int size);

// Copies text into buffer of size bytes the same way: cut at a whole character.
int CopyTextCut(char* buffer, int size, const char* text);

// printf-style formatting ("%d", "%s", "0x%08x") into buffer of size bytes; a result
// longer than the buffer is cut at the last whole character that fits.
int FormatText(char* buffer, int size, const char* format, ...);
