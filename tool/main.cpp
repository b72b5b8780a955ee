// zqvtool: the command line of the recordings. Subcommands make a recording
// from any view, tell what a file holds, and export a recording as the
// program's playback shows it; each one's file sets it up.
#include "app/program.h"
#include "tool/subcommands.h"

int main(int argc, char** argv)
{
    using namespace zqv;
    CLI::App app{"zqvtool: make, inspect and export ZQV zoom recordings", "zqvtool"};
    app.set_version_flag("--version", std::string("zqvtool ") + program_version);
    app.require_subcommand(1);
    app.footer(exit_codes_help);
    app.allow_windows_style_options(false);  // the subcommands inherit it: /recordings/x.zqv is a path on Windows too
    setup_info(app);
    setup_generate(app);
    setup_export(app);
    setup_render(app);
    setup_find(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::RuntimeError& e) {  // a subcommand's own exit code
        return e.get_exit_code();
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : exit_usage;
    }
    return 0;
}
