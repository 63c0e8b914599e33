// UI automation of the running utility, for the tests under wine: finds the main dialog
// by its caption, reads and operates its controls by id, prints UTF-8 on stdout.
// Needs USER32 and SHELL32; runs in the same wine prefix (wineserver) as the utility.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t DIALOG_CAPTION[] = L"ルミナゲートファームウェア更新ユーティリティ";
const wchar_t DIALOG_CLASS[] = L"#32770";

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// Control ids of the main dialog, in template order.
constexpr int STATION_LABEL = 1013;
constexpr int STATION_LIST = 1008;
constexpr int STATUS_PANE = 1018;
constexpr int PASSWORD_LABEL = 1014;
constexpr int PASSWORD_EDIT = 1010;
constexpr int PROGRESS_BAR = 1002;
constexpr int EXECUTE_BUTTON = 1;
constexpr int SEARCH_BUTTON = 1009;
constexpr int EXIT_BUTTON = 2;
constexpr int CONTROL_IDS[] = {STATION_LABEL, STATION_LIST,   STATUS_PANE,
                               PASSWORD_LABEL, PASSWORD_EDIT, PROGRESS_BAR,
                               EXECUTE_BUTTON, SEARCH_BUTTON, EXIT_BUTTON};

// The question box: its text is the static control 0xFFFF.
constexpr int QUESTION_TEXT_ID = 0xFFFF;

constexpr DWORD POLL_INTERVAL_MS = 50;
constexpr UINT SEND_TIMEOUT_MS = 5000;

const char USAGE[] =
    "usage: uiauto.exe COMMAND [ARGUMENTS]\n"
    "  wait-dialog SECONDS\n"
    "  status\n"
    "  wait-status TEXT SECONDS\n"
    "  watch-status UNTIL SECONDS\n"
    "  list\n"
    "  wait-list COUNT SECONDS\n"
    "  select INDEX\n"
    "  password TEXT\n"
    "  click ID\n"
    "  answer yes|no SECONDS\n"
    "  state\n"
    "  close\n";

// --- Output.

void WriteBytes(DWORD handleId, const std::string& bytes) {
    const HANDLE handle = GetStdHandle(handleId);
    DWORD written = 0;
    if (!bytes.empty()) {
        WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

// Each CR LF becomes LF, as the tests compare line by line.
std::wstring UnixLines(const std::wstring& text) {
    std::wstring lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            continue;
        }
        lines += text[i];
    }
    return lines;
}

void PrintLine(const std::wstring& text) { WriteBytes(STD_OUTPUT_HANDLE, ToUtf8(text) + "\n"); }

int Fail(const std::wstring& message) {
    WriteBytes(STD_ERROR_HANDLE, "uiauto: " + ToUtf8(message) + "\n");
    return EXIT_FAILED;
}

int Usage(const std::wstring& message) {
    WriteBytes(STD_ERROR_HANDLE, "uiauto: " + ToUtf8(message) + "\n" + USAGE);
    return EXIT_USAGE;
}

// --- Finding windows.

struct DialogSearch {
    HWND owner;  // nullptr: the main dialog; otherwise a question box owned by it
    HWND found;
};

bool HasCaption(HWND window, const wchar_t* className, const wchar_t* caption) {
    wchar_t text[256];
    if (GetClassNameW(window, text, 256) == 0 || lstrcmpW(text, className) != 0) {
        return false;
    }
    if (GetWindowTextW(window, text, 256) == 0) {
        return false;
    }
    return lstrcmpW(text, caption) == 0;
}

BOOL CALLBACK MatchDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DialogSearch*>(context);
    if (!HasCaption(window, DIALOG_CLASS, DIALOG_CAPTION)) {
        return TRUE;
    }
    // The question box has the same class and caption: the status pane tells them apart.
    const bool isMain = GetDlgItem(window, STATUS_PANE) != nullptr;
    const bool matches = search->owner == nullptr
                             ? isMain
                             : !isMain && GetWindow(window, GW_OWNER) == search->owner;
    if (matches) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(HWND owner) {
    DialogSearch search = {owner, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindMainDialog() { return FindDialog(nullptr); }

// Polls until found() gives a window or the seconds have passed.
template <typename Finder>
HWND WaitForWindow(Finder found, double seconds) {
    const DWORD start = GetTickCount();
    const DWORD limit = static_cast<DWORD>(seconds * 1000.0);
    for (;;) {
        const HWND window = found();
        if (window != nullptr) {
            return window;
        }
        if (GetTickCount() - start >= limit) {
            return nullptr;
        }
        Sleep(POLL_INTERVAL_MS);
    }
}

// --- Reading controls (messages that the system carries across processes).

LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS,
                            &result) == 0) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

// One read into room for any text of the dialog: asking for the length first could
// race with the program replacing the text in between.
std::wstring WindowText(HWND window) {
    std::vector<wchar_t> text(4096, L'\0');
    Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return std::wstring(text.data());
}

std::wstring ControlText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

std::wstring StatusText(HWND dialog) { return UnixLines(ControlText(dialog, STATUS_PANE)); }

int ListCount(HWND dialog) {
    return static_cast<int>(Ask(GetDlgItem(dialog, STATION_LIST), LB_GETCOUNT, 0, 0));
}

std::wstring ListLine(HWND dialog, int index) {
    const HWND list = GetDlgItem(dialog, STATION_LIST);
    const LRESULT length = Ask(list, LB_GETTEXTLEN, index, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    Ask(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return std::wstring(text.data());
}

// --- Arguments.

bool ParseSeconds(const wchar_t* text, double* seconds) {
    wchar_t* end = nullptr;
    *seconds = std::wcstod(text, &end);
    return end != text && *end == L'\0' && *seconds >= 0;
}

bool ParseInteger(const wchar_t* text, int* value) {
    wchar_t* end = nullptr;
    const long parsed = std::wcstol(text, &end, 10);
    *value = static_cast<int>(parsed);
    return end != text && *end == L'\0';
}

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

// --- Commands. Each gets the arguments after its name.

using Arguments = std::vector<std::wstring>;

HWND MainDialogOrNull() { return FindMainDialog(); }

int WaitDialog(const Arguments& args) {
    double seconds = 0;
    if (args.size() != 1 || !ParseSeconds(args[0].c_str(), &seconds)) {
        return Usage(L"wait-dialog SECONDS");
    }
    if (WaitForWindow(FindMainDialog, seconds) == nullptr) {
        return Fail(L"the main dialog did not appear");
    }
    return EXIT_OK;
}

int Status(HWND dialog) {
    PrintLine(StatusText(dialog));
    return EXIT_OK;
}

int WaitStatus(const Arguments& args) {
    double seconds = 0;
    if (args.size() != 2 || !ParseSeconds(args[1].c_str(), &seconds)) {
        return Usage(L"wait-status TEXT SECONDS");
    }
    std::wstring last;
    const HWND found = WaitForWindow(
        [&]() -> HWND {
            const HWND dialog = FindMainDialog();
            if (dialog == nullptr) {
                return nullptr;
            }
            last = StatusText(dialog);
            return Contains(last, args[0]) ? dialog : nullptr;
        },
        seconds);
    if (found == nullptr) {
        return Fail(L"status did not show \"" + args[0] + L"\"; last status: \"" + last + L"\"");
    }
    PrintLine(last);
    return EXIT_OK;
}

int WatchStatus(const Arguments& args) {
    double seconds = 0;
    if (args.size() != 2 || !ParseSeconds(args[1].c_str(), &seconds)) {
        return Usage(L"watch-status UNTIL SECONDS");
    }
    bool printedAny = false;
    std::wstring shown;
    const HWND found = WaitForWindow(
        [&]() -> HWND {
            const HWND dialog = FindMainDialog();
            if (dialog == nullptr) {
                return nullptr;
            }
            const std::wstring text = StatusText(dialog);
            if (!printedAny || text != shown) {
                PrintLine(text);
                PrintLine(L"----");
                printedAny = true;
                shown = text;
            }
            return Contains(text, args[0]) ? dialog : nullptr;
        },
        seconds);
    if (found == nullptr) {
        return Fail(L"status did not show \"" + args[0] + L"\"");
    }
    return EXIT_OK;
}

int List(HWND dialog) {
    const int count = ListCount(dialog);
    for (int i = 0; i < count; ++i) {
        PrintLine(ListLine(dialog, i));
    }
    return EXIT_OK;
}

int WaitList(const Arguments& args) {
    double seconds = 0;
    int count = 0;
    if (args.size() != 2 || !ParseInteger(args[0].c_str(), &count) ||
        !ParseSeconds(args[1].c_str(), &seconds)) {
        return Usage(L"wait-list COUNT SECONDS");
    }
    int last = -1;
    const HWND found = WaitForWindow(
        [&]() -> HWND {
            const HWND dialog = FindMainDialog();
            if (dialog == nullptr) {
                return nullptr;
            }
            last = ListCount(dialog);
            return last == count ? dialog : nullptr;
        },
        seconds);
    if (found == nullptr) {
        return Fail(L"the list has " + std::to_wstring(last) + L" lines, not " +
                    std::to_wstring(count));
    }
    return EXIT_OK;
}

int Select(HWND dialog, const Arguments& args) {
    int index = 0;
    if (args.size() != 1 || !ParseInteger(args[0].c_str(), &index)) {
        return Usage(L"select INDEX");
    }
    const HWND list = GetDlgItem(dialog, STATION_LIST);
    if (!IsWindowEnabled(list)) {
        return Fail(L"the station list is disabled");
    }
    if (index < 0 || index >= ListCount(dialog)) {
        return Fail(L"no line " + args[0]);
    }
    if (Ask(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0) == LB_ERR) {
        return Fail(L"line " + args[0] + L" could not be selected");
    }
    // What the list box itself sends after a click.
    Ask(dialog, WM_COMMAND, MAKEWPARAM(STATION_LIST, LBN_SELCHANGE),
        reinterpret_cast<LPARAM>(list));
    return EXIT_OK;
}

int Password(HWND dialog, const Arguments& args) {
    if (args.size() != 1) {
        return Usage(L"password TEXT");
    }
    Ask(GetDlgItem(dialog, PASSWORD_EDIT), WM_SETTEXT, 0,
        reinterpret_cast<LPARAM>(args[0].c_str()));
    return EXIT_OK;
}

// Posted, so a modal question box opened by the click cannot block this program. A
// disabled button cannot be pressed, as with the mouse.
int Click(HWND dialog, const Arguments& args) {
    int id = 0;
    if (args.size() != 1 || !ParseInteger(args[0].c_str(), &id)) {
        return Usage(L"click ID");
    }
    const HWND button = GetDlgItem(dialog, id);
    if (button == nullptr) {
        return Fail(L"no control " + args[0]);
    }
    if (!IsWindowEnabled(button)) {
        return Fail(L"control " + args[0] + L" is disabled");
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return EXIT_OK;
}

HWND QuestionBoxOf(HWND dialog) { return FindDialog(dialog); }

int Answer(const Arguments& args) {
    double seconds = 0;
    if (args.size() != 2 || (args[0] != L"yes" && args[0] != L"no") ||
        !ParseSeconds(args[1].c_str(), &seconds)) {
        return Usage(L"answer yes|no SECONDS");
    }
    const HWND box = WaitForWindow(
        []() -> HWND {
            const HWND dialog = FindMainDialog();
            return dialog == nullptr ? nullptr : QuestionBoxOf(dialog);
        },
        seconds);
    if (box == nullptr) {
        return Fail(L"no question box appeared");
    }
    PrintLine(UnixLines(ControlText(box, QUESTION_TEXT_ID)));
    const int choice = args[0] == L"yes" ? IDYES : IDNO;
    const HWND button = GetDlgItem(box, choice);
    if (button == nullptr) {
        return Fail(L"the question box has no " + args[0] + L" button");
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(choice, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return EXIT_OK;
}

int State(HWND dialog) {
    PrintLine(L"search_label=" + ControlText(dialog, SEARCH_BUTTON));
    for (const int id : CONTROL_IDS) {
        const bool enabled = IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
        PrintLine(L"enabled." + std::to_wstring(id) + L"=" + (enabled ? L"1" : L"0"));
    }
    const HWND progress = GetDlgItem(dialog, PROGRESS_BAR);
    PrintLine(L"progress_pos=" + std::to_wstring(Ask(progress, PBM_GETPOS, 0, 0)));
    PrintLine(L"progress_high=" + std::to_wstring(Ask(progress, PBM_GETRANGE, FALSE, 0)));
    PrintLine(L"list_count=" + std::to_wstring(ListCount(dialog)));
    return EXIT_OK;
}

int Close(HWND dialog) {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return EXIT_OK;
}

int Run(const Arguments& all) {
    if (all.empty()) {
        return Usage(L"no command");
    }
    const std::wstring& command = all[0];
    const Arguments args(all.begin() + 1, all.end());

    // Commands that wait for the dialog themselves.
    if (command == L"wait-dialog") return WaitDialog(args);
    if (command == L"wait-status") return WaitStatus(args);
    if (command == L"watch-status") return WatchStatus(args);
    if (command == L"wait-list") return WaitList(args);
    if (command == L"answer") return Answer(args);

    const bool known = command == L"status" || command == L"list" || command == L"select" ||
                       command == L"password" || command == L"click" || command == L"state" ||
                       command == L"close";
    if (!known) {
        return Usage(L"unknown command " + command);
    }
    const bool takesNone = command == L"status" || command == L"list" ||
                           command == L"state" || command == L"close";
    if (takesNone && !args.empty()) {
        return Usage(command + L" takes no arguments");
    }
    const HWND dialog = MainDialogOrNull();
    if (dialog == nullptr) {
        return Fail(L"the main dialog is not open");
    }
    if (command == L"status") return Status(dialog);
    if (command == L"list") return List(dialog);
    if (command == L"select") return Select(dialog, args);
    if (command == L"password") return Password(dialog, args);
    if (command == L"click") return Click(dialog, args);
    if (command == L"state") return State(dialog);
    return Close(dialog);
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) {
        return Usage(L"cannot read the command line");
    }
    Arguments args;
    for (int i = 1; i < count; ++i) {
        args.emplace_back(words[i]);
    }
    LocalFree(words);
    return Run(args);
}
