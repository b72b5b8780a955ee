// The terminal side of long work: errors and one progress line on standard
// error, kept up to date while it is a terminal, and stop signals turned into
// a flag.
#include "tool/system/progress.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "fractal/frame/fast_frame.h"
#include "tool/system/platform.h"

namespace zqv {

namespace {

using Clock = std::chrono::steady_clock;

bool on_terminal = false;
const char* counted;
std::int64_t goal;
Clock::time_point started, shown;
std::size_t shown_length;  // of the line on screen, which a shorter one must cover
std::mutex showing;        // the line and its pace, for callers on other threads
volatile std::sig_atomic_t interrupt_seen = 0;  // the stop signal's number; 0: none

// Says at once that the stop was received, with only async-signal-safe calls.
void on_interrupt(int signal)
{
    interrupt_seen = signal;
    stop_frames();
    char text[80] = "\nzqvtool: ";
    std::strcat(text, signal_name(signal));
    std::strcat(text, " received, stopping\n");
    const char* shown = on_terminal ? text : text + 1;  // below the progress line
    write_error_now(shown, std::strlen(shown));
}

std::string one_decimal(double value)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1).ptr);
}

}  // namespace

void print_error(const std::string& text)
{
    std::fprintf(stderr, "zqvtool: %s\n", text.c_str());
}

void start_progress(const char* unit, std::int64_t total)
{
    on_terminal = isatty(2) != 0;
    counted = unit;
    goal = total;
    started = Clock::now();
    shown = started;
    shown_length = 0;
}

// On a terminal at most five lines a second, and always the last one; into
// a log (stderr not a terminal) a plain line every 10 seconds.
void show_progress_text(const std::string& text, bool final)
{
    const std::lock_guard<std::mutex> lock(showing);
    const Clock::time_point now = Clock::now();
    const auto every = on_terminal ? std::chrono::milliseconds(200) : std::chrono::milliseconds(10000);
    if (interrupt_seen != 0 || (now - shown < every && (!final || !on_terminal)))
        return;
    shown = now;
    if (!on_terminal) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    std::string line = text;
    line.resize(std::max(text.size(), shown_length), ' ');
    shown_length = text.size();
    std::fprintf(stderr, "\r%s", line.c_str());
}

void show_progress(std::int64_t done)
{
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
    std::string line = std::to_string(done) + " of " + std::to_string(goal) + " " + counted + ", " +
                       one_decimal(rate) + "/s";
    if (rate > 0.0 && done < goal)
        line += ", " + std::to_string(static_cast<long long>((goal - done) / rate + 0.5)) + " s left";
    else if (done == goal)
        line += ", " + one_decimal(seconds) + " s";
    show_progress_text(line, done == goal);
}

void end_progress()
{
    const std::lock_guard<std::mutex> lock(showing);
    if (on_terminal && shown_length > 0 && interrupt_seen == 0)  // else the stop's line ended it
        std::fputc('\n', stderr);
    on_terminal = false;
}

void catch_interrupt()
{
    catch_stop_signals(on_interrupt);
}

bool interrupted()
{
    return interrupt_seen != 0;
}

const char* interrupt_name()
{
    return signal_name(interrupt_seen);
}

int interrupt_exit_code()
{
    return 128 + interrupt_seen;
}

}  // namespace zqv
