// The colour ramp as a logical palette and as the colour table of the 8-bit
// working bitmap, the device bitmap of the display image kept in the window
// property "bmp", and painting it.
#include "win/window_bitmap.h"

#include <cstring>

#include "app/program.h"

namespace zqv {

namespace {

constexpr int colours = 256;
// LOGPALETTE holds its first entry itself: 8 + 256 * 4 = 1032 bytes.
constexpr UINT palette_block_bytes = sizeof(LOGPALETTE) + colours * sizeof(PALETTEENTRY);
constexpr SIZE_T colour_table_offset = sizeof(BITMAPINFOHEADER);                  // 40
constexpr SIZE_T pixels_offset = colour_table_offset + colours * sizeof(RGBQUAD);  // 1064
constexpr SIZE_T working_bytes = pixels_offset + frame_bytes;                      // 308264

HPALETTE palette;
HGLOBAL working_memory;

}  // namespace

void create_palette()
{
    auto* block = static_cast<LOGPALETTE*>(LocalAlloc(LPTR, palette_block_bytes));
    if (!block)
        return;
    block->palVersion = 0x300;
    block->palNumEntries = colours;
    // The palette follows the ramp at every index, 0 included, (0, 56, 107):
    // only the bitmap's colour table, which is what is drawn, makes index 0 black.
    PALETTEENTRY* entries = block->palPalEntry;
    for (int i = 0; i < colours; ++i) {
        const Rgb c = ramp_colour(i);
        entries[i] = {c.red, c.green, c.blue, 0};
    }
    palette = CreatePalette(block);
    LocalFree(block);
}

bool allocate_working_bitmap()
{
    working_memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, working_bytes);
    return working_memory != nullptr;
}

void make_window_bitmap(HWND window, const DisplayBuffer& image)
{
    auto* memory = static_cast<BYTE*>(GlobalLock(working_memory));
    if (!memory)
        return;
    // Header and colour entry 0 (black) start cleared.
    std::memset(memory, 0, colour_table_offset + sizeof(RGBQUAD));
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(memory);
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = frame_width;
    header->biHeight = frame_height;  // positive: bottom-up, like the display rows
    header->biPlanes = 1;
    header->biBitCount = 8;
    header->biCompression = BI_RGB;
    auto* table = reinterpret_cast<RGBQUAD*>(memory + colour_table_offset);
    for (int i = 1; i < colours; ++i)
        table[i] = {colour_table[i].blue, colour_table[i].green, colour_table[i].red, 0};
    std::memcpy(memory + pixels_offset, image.pixels, frame_bytes);
    GlobalUnlock(working_memory);

    SetPropA(window, "palette", palette);

    HBITMAP bitmap = nullptr;
    memory = static_cast<BYTE*>(GlobalLock(working_memory));
    HDC screen = GetDC(nullptr);
    if (screen) {
        HPALETTE previous = SelectPalette(screen, palette, FALSE);
        RealizePalette(screen);
        bitmap = CreateDIBitmap(screen, reinterpret_cast<BITMAPINFOHEADER*>(memory), CBM_INIT,
            memory + pixels_offset, reinterpret_cast<BITMAPINFO*>(memory), DIB_RGB_COLORS);
        if (previous)
            SelectPalette(screen, previous, FALSE);
        ReleaseDC(nullptr, screen);
    }
    GlobalUnlock(working_memory);

    HANDLE replaced = GetPropA(window, "bmp");
    SetPropA(window, "bmp", bitmap);
    if (replaced)
        DeleteObject(replaced);
}

void refresh_window_bitmap(HWND window, const DisplayBuffer& image)
{
    auto* memory = static_cast<BITMAPINFO*>(GlobalLock(working_memory));
    HDC screen = GetDC(nullptr);
    if (!screen) {
        GlobalUnlock(working_memory);
        return;
    }
    if (palette) {
        SelectPalette(screen, palette, FALSE);
        RealizePalette(screen);
    }
    auto bitmap = static_cast<HBITMAP>(GetPropA(window, "bmp"));
    if (bitmap && memory)
        SetDIBits(screen, bitmap, 0, frame_height, image.pixels, memory, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    GlobalUnlock(working_memory);
}

void paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    auto bitmap = static_cast<HBITMAP>(GetPropA(window, "bmp"));
    HDC source = CreateCompatibleDC(dc);
    HPALETTE previous_palette = SelectPalette(dc, palette, FALSE);
    RealizePalette(dc);
    BITMAP size;
    if (bitmap && source && GetObjectA(bitmap, sizeof size, &size)) {
        HGDIOBJ previous_bitmap = SelectObject(source, bitmap);
        BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, previous_bitmap);
    }
    if (previous_palette)
        SelectPalette(dc, previous_palette, FALSE);
    if (source)
        DeleteDC(source);
    EndPaint(window, &ps);
}

}  // namespace zqv
