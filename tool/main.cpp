// zqvtool: the command line of the recordings. Subcommands make a recording
// from any view, tell what a file holds, and export a recording as the
// program's playback shows it.
#include <CLI/CLI.hpp>

#include "app/program.h"

int main(int argc, char** argv)
{
    CLI::App app{"zqvtool: make, inspect and export ZQV zoom recordings", "zqvtool"};
    app.set_version_flag("--version", std::string("zqvtool ") + program_version);
    app.require_subcommand(1);
    CLI11_PARSE(app, argc, argv);
    return 0;
}
