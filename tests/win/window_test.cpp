// End-to-end tests of zqv.exe: a Windows driver starts the real program in the
// test's fresh folder, finds its window by class and title, drives it with the
// window messages the menu and the mouse would send, and reads back what it
// shows: client pixels from the screen, message box texts, the recording files,
// its exit code and the resources of the executable.
//
//   zqv_window_test <zqv.exe> [GoogleTest options]

#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/controller.h"
#include "fractal/frame/frame.h"
#include "fractal/frame/view.h"
#include "fresh_folders.h"
#include "recording/recording.h"
#include "test_support.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

using namespace zqv;

namespace {

constexpr DWORD wait_ms = 15000;  // for anything that needs the program to respond
constexpr std::uint64_t frame_size = frame_bytes;
constexpr std::uint64_t header_size = recording_header_bytes;

struct Program {
    PROCESS_INFORMATION process;
    HWND window;
    std::string directory;  // its current directory, where "./new.zqv" goes
};

std::string exe_path;     // a Windows path
Program program;          // the instance under test

// A Unix path as Wine's drive Z: sees it.
std::string windows_path(std::string path)
{
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

void end_program()
{
    if (program.process.hProcess) {
        TerminateProcess(program.process.hProcess, 1);
        WaitForSingleObject(program.process.hProcess, wait_ms);
        CloseHandle(program.process.hProcess);
        CloseHandle(program.process.hThread);
    }
    program = {};
}

DWORD program_id(HWND window)
{
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return id;
}

// Starts zqv.exe in the test's folder and waits for its window.
[[nodiscard]] bool launch_program()
{
    end_program();
    program.directory = std::filesystem::current_path().string();
    std::string command_line = "\"" + exe_path + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
            program.directory.c_str(), &startup, &program.process)) {
        ADD_FAILURE() << "cannot start " << exe_path;
        return false;
    }
    WaitForInputIdle(program.process.hProcess, wait_ms);
    for (DWORD waited = 0; waited < wait_ms; waited += 50, Sleep(50)) {
        for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "zqvwindowclass", "ZQV"));)
            if (program_id(w) == program.process.dwProcessId && IsWindowVisible(w))
                program.window = w;
        if (program.window)
            return true;
    }
    ADD_FAILURE() << "no visible window of class \"zqvwindowclass\" titled \"ZQV\"";
    return false;
}

// Sends a menu command and returns once the program has carried it out.
LRESULT send_command(WPARAM id)
{
    DWORD_PTR result = 1;
    EXPECT_TRUE(SendMessageTimeoutA(program.window, WM_COMMAND, id, 0, SMTO_NORMAL, 60000, &result)) << id;
    return static_cast<LRESULT>(result);
}

// For commands that open a modal box or dialog, which the test must dismiss.
void post_command(WPARAM id)
{
    PostMessageA(program.window, WM_COMMAND, id, 0);
}

// The exit code once the program has ended by itself, or STILL_ACTIVE.
DWORD exit_code_after_end()
{
    WaitForSingleObject(program.process.hProcess, wait_ms);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(program.process.hProcess, &code);
    return code;
}

// --- expected pictures, from the program's own core ---

constexpr double new_re = 0.2652315023763047, new_im = 0.0030612322139956, new_width = 6.72;
constexpr double recorded_re = -0.74723394, recorded_im = 0.12526091, recorded_width = 13.44;
constexpr double generate_re = 0.2652315027667616, generate_im = 0.0030612312511513, generate_width = 215.04;

// The display image of a start command's first picture, as the program composes it.
DisplayBuffer first_picture(double centre_re, double centre_im, double width)
{
    start_program();
    set_zoom_step(8);
    set_view(centre_re, centre_im, width);
    generate_ring();
    step_zoom();
    return display_buffer();
}

// The colour-table entry of an index as 0xRRGGBB.
std::uint32_t table_colour(std::uint8_t i)
{
    const Rgb c = colour_table[i];
    return std::uint32_t{c.red} << 16 | std::uint32_t{c.green} << 8 | c.blue;
}

// --- what the program shows ---

struct Picture {
    int width, height;
    std::vector<std::uint32_t> pixels;  // 0xRRGGBB, top line first
};

// The client area as it is on the screen.
Picture capture_client()
{
    RECT client;
    GetClientRect(program.window, &client);
    POINT origin = {0, 0};
    ClientToScreen(program.window, &origin);
    Picture picture = {client.right, client.bottom, {}};
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), picture.width, -picture.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, picture.width, picture.height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < picture.width * picture.height; ++i)
        picture.pixels.push_back(first[i] & 0xffffff);
    SelectObject(memory, previous);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

// Pixels of the visible part of the 640 x 480 image that differ from the
// display image coloured by the colour table (display row 0 is the bottom line).
int mismatches(const Picture& picture, const DisplayBuffer& expected)
{
    int count = 0;
    for (int y = 0; y < std::min(picture.height, frame_height); ++y)
        for (int x = 0; x < std::min(picture.width, frame_width); ++x)
            count += picture.pixels[y * picture.width + x] !=
                     table_colour(expected.pixels[(frame_height - 1 - y) * frame_width + x]);
    return count;
}

// Waits for the window to show the picture; the mismatches left at the end.
int wait_for_picture(const DisplayBuffer& expected)
{
    int count = 0;
    for (DWORD waited = 0; waited < wait_ms; waited += 100, Sleep(100))
        if ((count = mismatches(capture_client(), expected)) == 0)
            break;
    return count;
}

struct WindowSearch {
    const char* wanted;  // a title for dialogs, a class for children
    HWND found;
};

BOOL CALLBACK match_dialog(HWND w, LPARAM p)
{
    auto* s = reinterpret_cast<WindowSearch*>(p);
    char name[64] = "", text[256] = "";
    GetClassNameA(w, name, sizeof name);
    GetWindowTextA(w, text, sizeof text);
    if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(w) && program_id(w) == program.process.dwProcessId &&
        (!s->wanted || std::strcmp(text, s->wanted) == 0))
        s->found = w;
    return !s->found;
}

// A visible dialog window of the program (message box or file dialog), titled so if given.
HWND find_dialog(const char* title)
{
    WindowSearch search = {title, nullptr};
    EnumWindows(match_dialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND wait_for_dialog(const char* title)
{
    HWND dialog = nullptr;
    for (DWORD waited = 0; waited < wait_ms && !(dialog = find_dialog(title)); waited += 50)
        Sleep(50);
    return dialog;
}

std::string window_text(HWND w)
{
    char text[1024] = "";
    DWORD_PTR length = 0;
    SendMessageTimeoutA(w, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, wait_ms, &length);
    return text;
}

BOOL CALLBACK match_child(HWND w, LPARAM p)
{
    auto* s = reinterpret_cast<WindowSearch*>(p);
    char name[64] = "";
    GetClassNameA(w, name, sizeof name);
    if (_stricmp(name, s->wanted) == 0 && IsWindowVisible(w) &&
        (std::strcmp(s->wanted, "Static") != 0 || !window_text(w).empty()))
        s->found = w;
    return !s->found;
}

// The first visible child of the class (for "Static", the first with a text).
HWND find_child(HWND parent, const char* class_name)
{
    WindowSearch search = {class_name, nullptr};
    EnumChildWindows(parent, match_child, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Presses a dialog's button and waits until the dialog has gone.
void dismiss(HWND dialog, WPARAM button)
{
    PostMessageA(dialog, WM_COMMAND, button, 0);
    for (DWORD waited = 0; waited < wait_ms && IsWindow(dialog); waited += 50)
        Sleep(50);
    EXPECT_FALSE(IsWindow(dialog));
}

// Checks the next message box: its title, text and owner; then presses OK.
void expect_message_box(const char* title, const std::string& text)
{
    HWND box = wait_for_dialog(title);
    ASSERT_TRUE(box) << "no message box titled " << title;
    EXPECT_EQ(GetWindow(box, GW_OWNER), program.window);
    EXPECT_EQ(window_text(find_child(box, "Static")), text);
    dismiss(box, IDOK);
}

std::uint64_t file_size(const std::string& name)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA((program.directory + "\\" + name).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

// Waits for the recording to hold at least that many frames.
bool wait_for_frames(std::uint64_t frames)
{
    for (DWORD waited = 0; waited < 4 * wait_ms; waited += 50, Sleep(50))
        if (file_size("new.zqv") >= header_size + frames * frame_size)
            return true;
    return false;
}

void expect_header(const std::vector<std::uint8_t>& file, double centre_re, double centre_im, double width)
{
    const std::vector<std::uint8_t> header = recording_bytes(centre_re, centre_im, width, {});
    ASSERT_GE(file.size(), header.size());
    EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin()));
}

// --- the tests ---

TEST(Window, OpensPlainWithItsTitleClassAndMenuAndIgnoresUnknownCommands)
{
    ASSERT_TRUE(launch_program());
    RECT outer;
    GetWindowRect(program.window, &outer);
    EXPECT_EQ(outer.right - outer.left, 640);
    EXPECT_EQ(outer.bottom - outer.top, 480);
    EXPECT_EQ(GetWindowLongA(program.window, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    EXPECT_TRUE(GetMenu(program.window));

    // No picture before the first command: the window background everywhere.
    COLORREF background = GetSysColor(COLOR_WINDOW);
    std::uint32_t rgb = GetRValue(background) << 16 | GetGValue(background) << 8 | GetBValue(background);
    // Unknown identifiers do nothing; the whole parameter is the identifier.
    for (WPARAM id : {WPARAM{40002}, WPARAM{0x10000 | command_query_position}})
        EXPECT_EQ(send_command(id), 0);
    Sleep(300);
    EXPECT_FALSE(find_dialog(nullptr));
    Picture picture = capture_client();
    EXPECT_GT(picture.width * picture.height, 0);
    EXPECT_EQ(std::count(picture.pixels.begin(), picture.pixels.end(), rgb), picture.width * picture.height);

    PostMessageA(program.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(exit_code_after_end(), 0u);
}

// Collects every resource of a module as "type/name/language".
BOOL CALLBACK list_language(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR list)
{
    char entry[64];
    std::snprintf(entry, sizeof entry, "%u/%u/%04x", unsigned(reinterpret_cast<ULONG_PTR>(type)),
        unsigned(reinterpret_cast<ULONG_PTR>(name)), language);
    reinterpret_cast<std::vector<std::string>*>(list)->push_back(entry);
    return TRUE;
}

BOOL CALLBACK list_languages(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR list)
{
    return EnumResourceLanguagesA(module, type, name, list_language, list);
}

BOOL CALLBACK list_names(HMODULE module, LPSTR type, LONG_PTR list)
{
    return EnumResourceNamesA(module, type, list_languages, list);
}

struct MenuItem {
    const char* text;
    UINT id;  // 0 for a popup
};

TEST(Window, ExecutableHoldsOnlyTheUkEnglishMenuAndVersion)
{
    HMODULE exe = LoadLibraryExA(exe_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    std::vector<std::string> resources;  // "type/name/language"
    EnumResourceTypesA(exe, list_names, reinterpret_cast<LONG_PTR>(&resources));
    // RT_MENU and RT_VERSION: no icon
    EXPECT_EQ(resources, (std::vector<std::string>{"4/101/0809", "16/1/0809"}));

    HMENU menu = LoadMenuA(exe, MAKEINTRESOURCEA(101));
    ASSERT_TRUE(menu);
    const std::vector<std::vector<MenuItem>> expected = {
        {{"File", 0}, {"Bugger Off", 40001}, {"&New", 40004}, {"New (&Recorded)", 40006}, {"&Open", 40007},
            {"&Generate Only", 40008}},
        {{"&Zoom", 0}, {"&Stop/Start", 40003}, {"&Query Position", 40009}},
    };
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    for (int p = 0; p < 2; ++p) {
        char text[64];
        GetMenuStringA(menu, p, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, expected[p][0].text);
        HMENU popup = GetSubMenu(menu, p);
        ASSERT_EQ(GetMenuItemCount(popup), int(expected[p].size()) - 1);
        for (int i = 1; i < int(expected[p].size()); ++i) {
            GetMenuStringA(popup, i - 1, text, sizeof text, MF_BYPOSITION);
            EXPECT_STREQ(text, expected[p][i].text);
            EXPECT_EQ(GetMenuItemID(popup, i - 1), expected[p][i].id);
        }
    }
    DestroyMenu(menu);
    FreeLibrary(exe);

    std::vector<char> version(GetFileVersionInfoSizeA(exe_path.c_str(), nullptr));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(GetFileVersionInfoA(exe_path.c_str(), 0, version.size(), version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    // 1.0.0.1: 1 and 0 in the high, 0 and 1 in the low 32 bits.
    for (DWORD ms : {fixed->dwFileVersionMS, fixed->dwProductVersionMS})
        EXPECT_EQ(ms, 0x00010000u);
    for (DWORD ls : {fixed->dwFileVersionLS, fixed->dwProductVersionLS})
        EXPECT_EQ(ls, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, DWORD{VFT_APP});
    for (const char* key : {"\\StringFileInfo\\080904b0\\FileVersion", "\\StringFileInfo\\080904b0\\ProductVersion"}) {
        char* value = nullptr;
        ASSERT_TRUE(VerQueryValueA(version.data(), key, reinterpret_cast<void**>(&value), &length)) << key;
        EXPECT_STREQ(value, "1, 0, 0, 1") << key;
    }
}

TEST(Picture, NewShowsItsFirstPictureAndStopStartRunsAndFreezesTheZoom)
{
    DisplayBuffer expected = first_picture(new_re, new_im, new_width);
    ASSERT_TRUE(launch_program());
    EXPECT_EQ(send_command(command_new), 0);
    EXPECT_EQ(wait_for_picture(expected), 0);

    send_command(command_stop_start);
    int moved = 0;
    for (DWORD waited = 0; waited < wait_ms && moved == 0; waited += 100, Sleep(100))
        moved = mismatches(capture_client(), expected);
    EXPECT_GT(moved, 0) << "the zoom did not run";

    send_command(command_stop_start);
    Sleep(300);  // the last tick's repaint
    Picture frozen = capture_client();
    Sleep(500);
    EXPECT_TRUE(capture_client().pixels == frozen.pixels) << "the zoom did not stop";
}

TEST(Boxes, QueryPositionAndClickShowTheirTexts)
{
    constexpr std::uint16_t click_x = 100, click_y = 50;
    first_picture(new_re, new_im, new_width);
    PlanePoint clicked = map_point(click_x, click_y).value();
    char point_text[256];
    std::snprintf(point_text, sizeof point_text, "x=%.16f\ny=%.16f", clicked.re, clicked.im);

    ASSERT_TRUE(launch_program());
    send_command(command_new);
    post_command(command_query_position);
    expect_message_box("ZQV Position", "midx = 0.265232\nmidy = 0.003061");
    PostMessageA(program.window, WM_LBUTTONUP, 0, MAKELPARAM(click_x, click_y));
    expect_message_box("Error", point_text);
}

TEST(Recording, NewRecordedWritesFramesAsTheyComeAndOpenPlaysThemBack)
{
    ASSERT_TRUE(launch_program());
    send_command(command_new_recorded);
    EXPECT_EQ(file_size("new.zqv"), header_size + 4 * frame_size);
    send_command(command_stop_start);
    EXPECT_TRUE(wait_for_frames(5));  // the first ring turn, after 79 ticks
    send_command(command_stop_start);
    EXPECT_EQ(file_size("new.zqv"), header_size + 5 * frame_size);

    // A copy with every frame byte changed: what Open shows must come from
    // the file, not from computing the recorded view again.
    std::vector<std::uint8_t> file = read_file(program.directory + "\\new.zqv");
    expect_header(file, recorded_re, recorded_im, recorded_width);
    for (std::size_t i = header_size; i < file.size(); ++i)
        file[i] ^= 0x5a;
    const std::string played = program.directory + "\\played.zqv";
    write_file(played, file);
    DisplayBuffer expected = first_picture(recorded_re, recorded_im, recorded_width);
    for (std::uint8_t& p : expected.pixels)
        p ^= 0x5a;

    post_command(command_open);
    HWND dialog = wait_for_dialog(nullptr);
    ASSERT_TRUE(dialog) << "no file-open dialog";
    HWND name = find_child(dialog, "Edit");
    ASSERT_TRUE(name);
    DWORD_PTR ignored;
    SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(played.c_str()), SMTO_NORMAL, wait_ms, &ignored);
    dismiss(dialog, IDOK);
    EXPECT_EQ(wait_for_picture(expected), 0);

    // The dialog opens again on the last choice.
    post_command(command_open);
    dialog = wait_for_dialog(nullptr);
    ASSERT_TRUE(dialog);
    std::string shown = window_text(find_child(dialog, "Edit"));
    EXPECT_NE(shown.find("played.zqv"), std::string::npos) << shown;
    dismiss(dialog, IDCANCEL);
}

TEST(Recording, GenerateOnlyRecordsFiveFramesFirstAndBuggerOffFlushesTheRest)
{
    ASSERT_TRUE(launch_program());
    send_command(command_generate_only);
    EXPECT_EQ(file_size("new.zqv"), header_size + 5 * frame_size);
    send_command(command_stop_start);
    EXPECT_TRUE(wait_for_frames(7));  // a frame a tick from now on
    post_command(command_bugger_off);
    EXPECT_EQ(exit_code_after_end(), 0u);

    std::uint64_t size = file_size("new.zqv");
    EXPECT_EQ((size - header_size) % frame_size, 0u) << size;
    EXPECT_GE(size, header_size + 7 * frame_size);
    expect_header(read_file(program.directory + "\\new.zqv"), generate_re, generate_im, generate_width);
}

// Bytes of the program's committed private memory. Wine keeps a device bitmap
// in process memory, so each leaked one adds 640 x 480 x 4 bytes.
std::int64_t committed_bytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    GetProcessMemoryInfo(program.process.hProcess, &counters, sizeof counters);
    return static_cast<std::int64_t>(counters.PagefileUsage);
}

TEST(Gdi, RepeatedNewCommandsKeepOneWindowBitmap)
{
    constexpr int repeats = 10;
    constexpr std::int64_t bitmap_bytes = 640 * 480 * 4;
    DisplayBuffer expected = first_picture(new_re, new_im, new_width);
    ASSERT_TRUE(launch_program());
    send_command(command_new);
    send_command(command_new);
    // GetGuiResources counts GDI objects on Windows; Wine answers 0 (not implemented).
    DWORD objects = GetGuiResources(program.process.hProcess, GR_GDIOBJECTS);
    std::int64_t memory = committed_bytes();
    for (int i = 0; i < repeats; ++i)
        send_command(command_new);
    if (objects) {
        EXPECT_LE(GetGuiResources(program.process.hProcess, GR_GDIOBJECTS), objects);
    }
    EXPECT_LT(committed_bytes() - memory, 2 * bitmap_bytes);
    EXPECT_EQ(wait_for_picture(expected), 0);
}

}  // namespace

// Ends the program a test started before its folder is removed: the
// listeners' ends run in the reverse order of their starts.
struct EndProgram : testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override { end_program(); }
};

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <zqv.exe>\n", argv[0]);
        return 2;
    }
    exe_path = windows_path(argv[1]);
    run_each_test_in_a_fresh_folder();
    testing::UnitTest::GetInstance()->listeners().Append(new EndProgram);
    return RUN_ALL_TESTS();
}
