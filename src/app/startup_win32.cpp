// Win32 entry of the program: refuses unsupported platforms, keeps to one running copy
// (named mutex and window class), creates the invisible host window that owns the main
// dialog, loads the firmware image and runs the dialog. Needs USER32, COMCTL32, KERNEL32.
#include <windows.h>
#include <commctrl.h>

#include "app/firmware_image.h"
#include "platform/win32/win32_host.h"
#include "resource.h"
#include "ui/display.h"
#include "ui/texts.h"

HINSTANCE programInstance = nullptr;

namespace {

constexpr char SINGLE_INSTANCE_MUTEX[] = "KOSEN_ZPR_FIRMWARE_UPDATE";
constexpr char HOST_CLASS_NAME[] = "ZPR_FIRMWARE_UPDATE_UTILITY";
constexpr wchar_t HOST_CLASS_NAME_W[] = L"ZPR_FIRMWARE_UPDATE_UTILITY";

constexpr DWORD PLATFORM_WINDOWS_95 = 1;  // VER_PLATFORM_WIN32_WINDOWS
constexpr DWORD PLATFORM_WINDOWS_NT = 2;  // VER_PLATFORM_WIN32_NT

constexpr int EXIT_REFUSED = 1;
constexpr int EXIT_NO_WINDOW = 0;
constexpr TextId TEXT_UNSUPPORTED_PLATFORM = 7;
constexpr TextId TEXT_IMAGE_NOT_LOADABLE = 10;

// The Windows 95 and NT families run the program; a failed query leaves platform id 0.
bool CheckPlatform() {
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version.dwPlatformId == PLATFORM_WINDOWS_NT ||
           version.dwPlatformId == PLATFORM_WINDOWS_95;
}

// Shows text id in a message box with the exclamation icon, titled AppCaption.
void ShowStartupMessage(HWND owner, TextId id) {
    char text[CAPTION_BUFFER];
    LoadText(id, text, sizeof text);
    ShowMessageBox(owner, text, AppCaption, MB_OK | MB_ICONEXCLAMATION);
}

// Another copy holds the mutex: bring its host window to the front, if it has one yet.
bool AnotherCopyRuns() {
    const HANDLE existing = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, SINGLE_INSTANCE_MUTEX);
    if (existing == nullptr) {
        return false;
    }
    const HWND other = FindWindowA(HOST_CLASS_NAME, nullptr);
    if (other != nullptr) {
        SetForegroundWindow(other);
        ShowWindow(other, SW_RESTORE);
    }
    return true;
}

// Creation: the common controls for the progress bar, then the rest once the loop runs.
LRESULT OnHostCreate(HWND window) {
    InitCommonControls();
    PostMessageA(window, WM_DESTROY, 0, 0);
    return 0;
}

// The posted start: load the image, run the main dialog, then end the message loop.
LRESULT OnHostStart(HWND window) {
    if (LoadFirmwareImage() == 0) {
        ShowStartupMessage(window, TEXT_IMAGE_NOT_LOADABLE);
        PostQuitMessage(0);
        return 0;
    }
    DialogBoxParamW(programInstance, MAKEINTRESOURCEW(IDD_MAIN_DIALOG), window, MainDialogProc,
                    0);
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnHostCreate(window);
    case WM_DESTROY:
        return OnHostStart(window);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

ATOM RegisterHostClass(HINSTANCE instance) {
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.style = 0;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = HOST_CLASS_NAME_W;
    return RegisterClassW(&windowClass);
}

// A zero-size window at the middle of the screen: the taskbar entry and the dialog's owner.
int CreateHostWindow(HINSTANCE instance, int showCommand) {
    RECT desktop;
    GetClientRect(GetDesktopWindow(), &desktop);
    const int width = desktop.right - desktop.left;
    const int height = desktop.bottom - desktop.top;
    wchar_t title[WIDE_TEXT_CAPACITY];
    WidenText(AppCaption, title, WIDE_TEXT_CAPACITY);
    const HWND window = CreateWindowExW(0, HOST_CLASS_NAME_W, title,
                                        WS_POPUP | WS_BORDER | WS_SYSMENU, width / 2, height / 2,
                                        0, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    programInstance = instance;
    LoadAppCaption();

    if (!CheckPlatform()) {
        ShowStartupMessage(nullptr, TEXT_UNSUPPORTED_PLATFORM);
        return EXIT_REFUSED;
    }
    if (AnotherCopyRuns()) {
        return EXIT_REFUSED;
    }
    const HANDLE marker = CreateMutexA(nullptr, FALSE, SINGLE_INSTANCE_MUTEX);

    if (RegisterHostClass(instance) == 0) {
        return EXIT_NO_WINDOW;
    }
    if (!CreateHostWindow(instance, showCommand)) {
        return EXIT_NO_WINDOW;
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    if (marker != nullptr) {
        CloseHandle(marker);
    }
    return static_cast<int>(message.wParam);
}
