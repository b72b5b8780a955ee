// The 32-bit Windows program: start-up, the main window with its window
// procedure and message loop, and the window-system functions the controller
// calls, all through the ANSI Win32 entry points.
#include <windows.h>
#include <commdlg.h>

#include <cstddef>

#include <string>

#include "app/controller.h"
#include "app/program.h"
#include "app/window_system.h"
#include "win/window_bitmap.h"

namespace zqv {

namespace {

constexpr const char* class_name = "zqvwindowclass";
constexpr UINT_PTR timer_id = 101;
// The Windows 95/NT 4 layout of the structure, without the Windows 2000
// fields: 19 four-byte fields, 76 bytes.
const DWORD open_dialog_size = OPENFILENAME_SIZE_VERSION_400A;
// The dialog's filter: name and pattern, each ending in a NUL, and a NUL after the last pair.
const std::string open_dialog_filter =
    std::string(recording_filter_name) + '\0' + recording_filter_pattern + '\0';

HINSTANCE instance;
HWND main_window;
OPENFILENAMEA open_dialog;
char chosen_path[MAX_PATH];  // 260; keeps the last choice, which pre-fills the dialog

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_COMMAND:
        // The whole parameter is the identifier; unknown ones do nothing.
        on_command(static_cast<unsigned>(wparam));
        return 0;
    case WM_TIMER:
        on_tick();
        return 0;
    case WM_LBUTTONUP:
        on_click(LOWORD(lparam), HIWORD(lparam));
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

void start_timer()
{
    SetTimer(main_window, timer_id, timer_period_ms, nullptr);
}

bool stop_timer()
{
    return KillTimer(main_window, timer_id) != 0;
}

void show_message(const std::string& text, const std::string& title)
{
    MessageBoxA(main_window, text.c_str(), title.c_str(), MB_OK);
}

void beep(unsigned frequency_hz, unsigned duration_ms)
{
    Beep(frequency_hz, duration_ms);
}

void invalidate_window()
{
    InvalidateRect(main_window, nullptr, FALSE);
}

void close_window()
{
    SendMessageA(main_window, WM_CLOSE, 0, 0);
}

std::optional<std::string> choose_recording()
{
    open_dialog = {};
    open_dialog.lStructSize = open_dialog_size;
    open_dialog.hwndOwner = main_window;
    open_dialog.hInstance = instance;
    open_dialog.lpstrFilter = open_dialog_filter.c_str();  // c_str() adds the list's final NUL
    open_dialog.lpstrFile = chosen_path;
    open_dialog.nMaxFile = sizeof chosen_path;
    open_dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;  // 0x1004
    open_dialog.lpstrDefExt = "ZQV";
    if (!GetOpenFileNameA(&open_dialog))
        return std::nullopt;
    return std::string(chosen_path);
}

void make_window_bitmap(const DisplayBuffer& image)
{
    make_window_bitmap(main_window, image);
}

void refresh_window_bitmap(const DisplayBuffer& image)
{
    refresh_window_bitmap(main_window, image);
}

}  // namespace zqv

int WINAPI WinMain(HINSTANCE current, HINSTANCE previous, LPSTR, int show)
{
    using namespace zqv;
    instance = current;
    if (!previous) {
        WNDCLASSA window_class = {};
        window_class.style = CS_HREDRAW | CS_VREDRAW;
        window_class.lpfnWndProc = window_procedure;
        window_class.hInstance = current;
        window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        window_class.lpszMenuName = MAKEINTRESOURCEA(ZQV_MENU_RESOURCE);
        window_class.lpszClassName = class_name;
        RegisterClassA(&window_class);
    }
    main_window = CreateWindowExA(0, class_name, program_title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
        CW_USEDEFAULT, window_outer_width, window_outer_height, nullptr, nullptr, current, nullptr);
    if (!main_window)
        return -1;
    SetWindowTextA(main_window, program_title);
    create_palette();
    if (!allocate_working_bitmap()) {
        MessageBoxA(main_window, "GlobalAlloc failed for working bitmap", "Error", MB_OK);
        PostQuitMessage(-1);
    }
    ShowWindow(main_window, show);
    start_program();
    UpdateWindow(main_window);

    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // GetMessageA fails with -1 only for an invalid window or message pointer.
    return got == 0 ? static_cast<int>(message.wParam) : -1;
}
