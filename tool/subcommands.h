// What zqvtool's subcommands share: each one's set-up, which adds it to the
// command line with its options, help and action; the exit codes; and the
// suffix of the temporary names outputs are written under.
#pragma once

#include <CLI/CLI.hpp>

namespace zqv {

// Exit codes: 0 done; 1 a file could not be read or written; 2 a bad command
// line; 128 + the signal's number when a stop signal ended the work, as
// shells report it (interrupt_exit_code): 130 Ctrl-C (SIGINT), the most common.
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;
constexpr int exit_interrupted = 130;
inline const std::string exit_codes_help =
    "Exit codes: 0 done, 1 a file could not be read or written, 2 a bad command line, 128 + the signal's number "
    "when stopped by a signal: 130 Ctrl-C (SIGINT), 143 SIGTERM (kill, timeout), 129 SIGHUP (a closed terminal), "
    "149 Ctrl-Break on Windows. A second stop signal ends zqvtool at once, leaving its temporary files.";

// An output is written under its name with this appended (create_part_file
// numbers it when that name is taken), and takes its own name only when it
// is complete.
constexpr const char* part_suffix = ".part";

void setup_info(CLI::App& app);
void setup_generate(CLI::App& app);
void setup_export(CLI::App& app);
void setup_render(CLI::App& app);
void setup_find(CLI::App& app);

// Ends the subcommand's action with its exit code: main returns it.
inline void exit_with(int code)
{
    if (code != 0)
        throw CLI::RuntimeError(code);
}

}  // namespace zqv
