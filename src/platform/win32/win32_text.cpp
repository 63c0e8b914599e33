// Texts of the Win32 host: the string table (stored as UTF-16, handed to the core in
// code page 932) and the conversions for showing core texts through the W interfaces.
// Needs USER32 (LoadStringW, MessageBoxW) and KERNEL32's code page 932 tables.
#include "platform/platform.h"
#include "platform/win32/win32_host.h"
#include "ui/texts.h"

void WidenText(const char* text, wchar_t* wide, int capacity) {
    if (capacity <= 0) {
        return;
    }
    const int converted =
        MultiByteToWideChar(CORE_CODE_PAGE, 0, text, -1, wide, capacity);
    if (converted <= 0) {
        wide[0] = L'\0';
    }
    wide[capacity - 1] = L'\0';
}

int NarrowText(const wchar_t* wide, int length, char* buffer, int capacity) {
    if (length < 0) {
        length = lstrlenW(wide);
    }
    if (length > WIDE_TEXT_CAPACITY) {
        length = WIDE_TEXT_CAPACITY;
    }
    char full[2 * WIDE_TEXT_CAPACITY + 1];
    int converted = 0;
    if (length > 0) {
        converted = WideCharToMultiByte(CORE_CODE_PAGE, 0, wide, length, full,
                                        static_cast<int>(sizeof full) - 1, nullptr, nullptr);
    }
    if (converted < 0) {
        converted = 0;
    }
    full[converted] = '\0';
    return CopyTextCut(buffer, capacity, full);
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    wchar_t wideText[WIDE_TEXT_CAPACITY];
    wchar_t wideCaption[WIDE_TEXT_CAPACITY];
    WidenText(text, wideText, WIDE_TEXT_CAPACITY);
    WidenText(caption, wideCaption, WIDE_TEXT_CAPACITY);
    return MessageBoxW(owner, wideText, wideCaption, type);
}

int LoadTextResource(unsigned id, char* buffer, int capacity) {
    if (capacity <= 0) {
        return 0;
    }
    wchar_t wide[WIDE_TEXT_CAPACITY];
    const int length = LoadStringW(programInstance, id, wide, WIDE_TEXT_CAPACITY);
    if (length <= 0) {
        buffer[0] = '\0';
        return 0;
    }
    return NarrowText(wide, length, buffer, capacity);
}
