// The terminal side of zqvtool's long work: errors, a progress line, and
// stop signals turned into a flag.
#pragma once

#include <cstdint>
#include <string>

namespace zqv {

// One line on standard error: "zqvtool: " and the text.
void print_error(const std::string& text);

// Progress on standard error: what is counted, done of total, the rate and
// the time left, kept up to date on a terminal, and a plain line every 10
// seconds where it is not (a log); end_progress ends the terminal's line.
void start_progress(const char* unit, std::int64_t total);
void show_progress(std::int64_t done);
void end_progress();
// A line of the caller's own in the same place and at the same pace (any
// thread may call it); final shows it whatever the pace.
void show_progress_text(const std::string& line, bool final = false);

// From here on a stop signal (Ctrl-C; SIGTERM, SIGHUP on POSIX) says at once
// that it was received, stops the frame computation (stop_frames) and sets
// a flag, instead of ending the program.
void catch_interrupt();
bool interrupted();
// The signal's name, and the exit code it asks for: 128 + its number, as
// shells report it.
const char* interrupt_name();
int interrupt_exit_code();

}  // namespace zqv
