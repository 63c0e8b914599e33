// Pieces shared by the Win32 host: the program instance, the main dialog's procedure,
// and the code page 932 <-> UTF-16 conversions through which every core text passes, so
// the Japanese texts appear right whatever the system's ANSI code page is.
#pragma once

#include <windows.h>

// The module every resource is loaded from; set by WinMain before anything else.
extern HINSTANCE programInstance;

// Flat dispatch of the main dialog's messages to the core's entry points.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The code page of every text the core hands over or expects back.
constexpr UINT CORE_CODE_PAGE = 932;
// Room for any text of the program in UTF-16 (the longest core text has 512 bytes).
constexpr int WIDE_TEXT_CAPACITY = 1024;

// Converts zero-terminated code page 932 text into wide (capacity characters, always
// terminated; an empty string when the text cannot be converted).
void WidenText(const char* text, wchar_t* wide, int capacity);

// Converts length UTF-16 characters (-1: up to the terminator) to code page 932 into
// buffer, cut at the last whole character within capacity - 1 bytes, and terminates it.
// Returns the number of bytes stored.
int NarrowText(const wchar_t* wide, int length, char* buffer, int capacity);

// MessageBoxW with a code page 932 text and caption; returns MessageBoxW's result.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type);
