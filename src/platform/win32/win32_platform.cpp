// Win32 implementation of the seam's window, display, identity and clock services for the
// main dialog: timers, the dialog's controls, questions, NetBIOS adapter status, local
// time and the C library's generator. Needs USER32, COMCTL32 (progress bar), NETAPI32.
#include <cstdlib>
#include <cstring>

#include <windows.h>
#include <commctrl.h>
#include <nb30.h>

#include "platform/platform.h"
#include "platform/win32/win32_host.h"
#include "resource.h"

namespace {

HWND AsWindow(Window window) { return static_cast<HWND>(window); }

// NetBIOS buffers and names used to read the first adapter's hardware address.
constexpr int ADAPTER_ENUM_BUFFER = 256;
constexpr int ADAPTER_STATUS_BUFFER = 600;  // status block of 60 bytes, 30 names of 18
constexpr int ENUM_FIRST_ADAPTER = 1;       // the byte after the count byte
constexpr int HARDWARE_ADDRESS_BYTES = 6;
constexpr char ANY_NAME_CALL[] = "*               ";  // "*" and 15 blanks

// Issues one NetBIOS command with a fresh control block; returns its return code.
UCHAR IssueNetbios(UCHAR command, UCHAR adapter, void* buffer, WORD length,
                   const char* callName) {
    NCB block;
    std::memset(&block, 0, sizeof block);
    block.ncb_command = command;
    block.ncb_lana_num = adapter;
    block.ncb_buffer = static_cast<PUCHAR>(buffer);
    block.ncb_length = length;
    if (callName != nullptr) {
        std::memcpy(block.ncb_callname, callName, NCBNAMSZ);
    }
    return Netbios(&block);
}

}  // namespace

// --- Timers.

unsigned SetWindowTimer(Window window, unsigned id, unsigned periodMs) {
    return static_cast<unsigned>(SetTimer(AsWindow(window), id, periodMs, nullptr));
}

void KillWindowTimer(Window window, unsigned id) { KillTimer(AsWindow(window), id); }

// --- This PC.

int ReadAdapterAddress(std::uint8_t address[6]) {
    unsigned char adapters[ADAPTER_ENUM_BUFFER] = {};
    IssueNetbios(NCBENUM, 0, adapters, sizeof adapters, nullptr);
    const UCHAR adapter = adapters[ENUM_FIRST_ADAPTER];

    IssueNetbios(NCBRESET, adapter, nullptr, 0, nullptr);

    unsigned char status[ADAPTER_STATUS_BUFFER] = {};
    if (IssueNetbios(NCBASTAT, adapter, status, sizeof status, ANY_NAME_CALL) != NRC_GOODRET) {
        return 0;
    }
    std::memcpy(address, status, HARDWARE_ADDRESS_BYTES);
    return 1;
}

unsigned LocalTimeMilliseconds() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now.wMilliseconds;
}

void SeedRandom(unsigned seed) { std::srand(seed); }

int NextRandom() { return std::rand(); }

// --- Display elements of the dialog.

void SetControlText(Window dialog, int controlId, const char* text) {
    wchar_t wide[WIDE_TEXT_CAPACITY];
    WidenText(text, wide, WIDE_TEXT_CAPACITY);
    SetDlgItemTextW(AsWindow(dialog), controlId, wide);
}

void EnableControl(Window dialog, int controlId, int enable) {
    EnableWindow(GetDlgItem(AsWindow(dialog), controlId), enable ? TRUE : FALSE);
}

void SetProgressRange(Window dialog, std::uint16_t high) {
    SendDlgItemMessageW(AsWindow(dialog), IDC_PROGRESS_BAR, PBM_SETRANGE, 0,
                        MAKELPARAM(0, high));
}

void SetProgressPosition(Window dialog, std::uint16_t position) {
    SendDlgItemMessageW(AsWindow(dialog), IDC_PROGRESS_BAR, PBM_SETPOS, position, 0);
}

void ClearListLines(Window dialog) {
    SendDlgItemMessageW(AsWindow(dialog), IDC_STATION_LIST, LB_RESETCONTENT, 0, 0);
}

int AppendListLine(Window dialog, const char* text) {
    wchar_t wide[WIDE_TEXT_CAPACITY];
    WidenText(text, wide, WIDE_TEXT_CAPACITY);
    const LRESULT index = SendDlgItemMessageW(AsWindow(dialog), IDC_STATION_LIST,
                                              LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide));
    return index < 0 ? -1 : static_cast<int>(index);
}

int SelectedListLine(Window dialog) {
    const LRESULT line =
        SendDlgItemMessageW(AsWindow(dialog), IDC_STATION_LIST, LB_GETCURSEL, 0, 0);
    return line < 0 ? -1 : static_cast<int>(line);
}

void ClearListSelection(Window dialog) {
    SendDlgItemMessageW(AsWindow(dialog), IDC_STATION_LIST, LB_SETCURSEL,
                        static_cast<WPARAM>(-1), 0);
}

void ReadPasswordText(Window dialog, char* buffer, int capacity) {
    if (capacity <= 0) {
        return;
    }
    wchar_t wide[WIDE_TEXT_CAPACITY];
    const UINT length = GetDlgItemTextW(AsWindow(dialog), IDC_PASSWORD_EDIT, wide,
                                        WIDE_TEXT_CAPACITY);
    NarrowText(wide, static_cast<int>(length), buffer, capacity);
}

void LimitPasswordLength(Window dialog, int characters) {
    SendDlgItemMessageW(AsWindow(dialog), IDC_PASSWORD_EDIT, EM_LIMITTEXT,
                        static_cast<WPARAM>(characters), 0);
}

void FocusControl(Window dialog, int controlId) {
    SetFocus(GetDlgItem(AsWindow(dialog), controlId));
}

// Centres the dialog on its owner (the zero-size host window in the middle of the screen).
void CenterDialogOnOwner(Window dialog) {
    const HWND window = AsWindow(dialog);
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner == nullptr) {
        owner = GetDesktopWindow();
    }
    RECT dialogRect;
    RECT ownerRect;
    GetWindowRect(window, &dialogRect);
    GetWindowRect(owner, &ownerRect);
    const int dialogWidth = dialogRect.right - dialogRect.left;
    const int dialogHeight = dialogRect.bottom - dialogRect.top;
    const int ownerWidth = ownerRect.right - ownerRect.left;
    const int ownerHeight = ownerRect.bottom - ownerRect.top;
    const int left = ownerRect.left + (ownerWidth - dialogWidth) / 2;
    const int top = ownerRect.top + (ownerHeight - dialogHeight) / 2;
    MoveWindow(window, left, top, dialogWidth, dialogHeight, TRUE);
}

void EndDialogWindow(Window dialog, int result) { EndDialog(AsWindow(dialog), result); }

int AskYesNo(Window owner, const char* text, const char* caption) {
    return ShowMessageBox(AsWindow(owner), text, caption, MB_YESNO | MB_ICONEXCLAMATION) ==
                   IDYES
               ? 1
               : 0;
}
