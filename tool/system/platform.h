// What zqvtool needs of the operating system, one file per system
// (platform_posix.cpp, platform_windows.cpp): the stop signals, files
// created only where nothing is, and input files opened without waiting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
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
// Creates a file at path as create_new_file does and writes data into it;
// the system's reason if it could not ("No space left on device"). The
// Windows build's alone (its PNG writer): there the C runtime's errno after a
// failed write does not always say why.
std::optional<std::string> write_new_file(const std::string& path, const void* data, std::size_t size);

// Opens the file at path for reading, in binary, if it is a regular file
// (after following symbolic links): at once, never waiting on a FIFO with no
// writer or a device. "it is not a regular file" (a folder, a FIFO, a
// device such as /dev/zero or NUL) or the system's reason if not.
std::optional<std::string> open_input_file(const std::string& path, std::FILE*& file);

// The bytes of memory zqvtool may still take: the memory the system has
// free or can free, within the process's address space and the limits set
// on it (ulimit -v, -d).
std::uint64_t memory_available();

// Takes the lock of the file at path (made if missing) until zqvtool ends,
// without waiting: "another zqvtool holds it" if another process has it, or
// the system's reason if it cannot be taken.
std::optional<std::string> lock_until_exit(const std::string& path);

// The whole of the regular file at path, opened as open_input_file does,
// into contents; "it is larger than N bytes" when it holds more than limit.
std::optional<std::string> read_input_file(const std::string& path, std::size_t limit, std::string& contents);

}  // namespace zqv
