// Fuzz target for the playback reader: arbitrary bytes as a recording, then a
// ring generated from it and several hundred zoom steps and clicks mapped.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "app/program.h"
#include "fractal/frame/frame.h"
#include "recording/recording.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

using namespace zqv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool started = (start_program(), true);
    (void)started;

    const char* path = "./fuzz_input.zqv";
    if (std::FILE* f = std::fopen(path, "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    open_recording(path);
    // Until some input has opened, frames would be computed: not the reader's work.
    if (record_mode() != record_playback)
        return 0;

    constexpr std::int32_t zoom_steps[] = {8, 32, 640};  // the steps the commands use
    set_zoom_step(zoom_steps[size % 3]);
    generate_ring();
    for (int i = 0; i < 300; ++i) {
        step_zoom();
        const std::uint16_t mx = size > 0 ? data[i % size] * 3 : 0;
        const std::uint16_t my = size > 1 ? data[(i + 1) % size] * 2 : 0;
        (void)map_point(mx, my);
    }
    return 0;
}
