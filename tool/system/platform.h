// What zqvtool needs of the operating system, one file per system
// (platform_posix.cpp, platform_windows.cpp): the stop signals, and files
// created only where nothing is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zqv {

// From here on the first of each stop signal calls on_stop(its number) (in
// the handler: only async-signal-safe work), and a second one ends the
// program as the system would have. Stop signals: Ctrl-C (SIGINT), and
// SIGTERM and SIGHUP (a closed terminal) on POSIX, Ctrl-Break on Windows;
// one ignored when zqvtool started (nohup, a background job) stays ignored.
void catch_stop_signals(void (*on_stop)(int));
// The signal's name as users know it: "Ctrl-C", "SIGTERM"...
const char* signal_name(int signal);
// Writes to standard error at once; safe in a signal handler.
void write_error_now(const char* text, std::size_t size);

// Creates an empty file at path only if nothing is there, not even a
// dangling symbolic link; the system's reason if it could not.
std::optional<std::string> create_new_file(const std::string& path);

}  // namespace zqv
