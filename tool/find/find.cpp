// zqvtool find: the minibrot a view leads to, and the location file of a
// zoom that ends on it, centred on its nucleus.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "fractal/deep/deep_find.h"
#include "fractal/frame/fast_frame.h"
#include "tool/location.h"
#include "tool/output/output_files.h"
#include "tool/subcommands.h"
#include "tool/system/progress.h"

namespace zqv {

namespace {

struct FindOptions {
    std::string centre, width, location;
    std::uint64_t period = 0, max_period = 1000000;
    bool force = false;
    std::string out;
};

void show_search(const char* stage, std::int64_t done, std::int64_t total, void*)
{
    show_progress_text(std::string(stage) + ": iteration " + std::to_string(done) + " of " + std::to_string(total));
}

// Two significant digits, rounded up: the end width a render is given.
Decimal end_width_for(FloatExp size)
{
    // The minibrot about a third of the picture's width: 3 times its size.
    const FloatExp width = size * to_floatexp(3.0);
    const double l = log10_of(width);
    const double power = std::floor(l) - 1.0;
    const double digits = std::ceil(std::pow(10.0, l - power));
    Decimal d;
    d.digits = std::to_string(static_cast<long long>(digits));
    d.exponent = static_cast<std::int64_t>(power);
    return d;
}

std::string output_path(const std::string& out)
{
    const std::string suffix = ".location";
    return out.size() >= suffix.size() && out.compare(out.size() - suffix.size(), suffix.size(), suffix) == 0
               ? out
               : out + suffix;
}

int run_find(const FindOptions& options)
{
    Location location;
    bool unreadable = false;
    if (const std::optional<std::string> reason =
            choose_location({"", options.centre, options.width, options.location}, location, unreadable)) {
        print_error(*reason);
        return unreadable ? exit_failed : exit_usage;
    }
    const FloatExp width = decimal_to_floatexp(location.width);
    if (!is_positive(width) || width < deepest_width() || !std::isfinite(to_double(width))) {
        print_error(std::string("the width must be a positive number of at least ") + deepest_width_text);
        return exit_usage;
    }
    const std::string path = output_path(options.out);
    if (const std::optional<std::string> reason = check_output(path, options.force)) {
        print_error(path + ": " + *reason);
        return exit_failed;
    }
    catch_interrupt();
    Minibrot found;
    bool stopped = false;
    const std::optional<std::string> reason =
        find_minibrot(location.centre_re, location.centre_im, width * to_floatexp(0.5), options.period,
                      options.max_period, found, frames_stop_flag(), stopped, show_search, nullptr);
    if (stopped || interrupted()) {
        print_error(std::string("stopped by ") + interrupt_name() + "; nothing written");
        return interrupt_exit_code();
    }
    if (reason) {
        print_error(*reason);
        return exit_failed;
    }
    const Decimal end = end_width_for(found.size);
    // Escapes near a minibrot's end take a few dozen of its periods.
    const std::uint64_t iterations = 64 * found.period;
    Location target;
    target.centre_re = found.nucleus_re;
    target.centre_im = found.nucleus_im;
    target.width = location.width;
    target.cap = location.cap;
    target.end_width = end;
    if (const std::optional<std::string> failed = write_whole_file(path, location_text(target))) {
        print_error(*failed);
        return exit_failed;
    }
    char angle[32];
    const double degrees = found.angle * 57.295779513082321 + 0.0;  // 180 / pi; + 0 turns -0 into 0
    std::string text = "period        " + std::to_string(found.period) + "\nnucleus       " +
                       decimal_text(found.nucleus_re) + ", " + decimal_text(found.nucleus_im) + "\nsize          " +
                       width_text(found.size) + " (angle " +
                       std::string(angle, std::to_chars(angle, angle + sizeof angle, degrees,
                                                        std::chars_format::fixed, 1).ptr) +
                       " degrees)\nend width     " + decimal_text(end) + "\niterations    about " +
                       std::to_string(iterations) + " for a render of its end (64 periods)\nwrote         " + path +
                       ": zqvtool render --location " + path + " --to-width " + decimal_text(end) + " zoom.mp4\n";
    std::fputs(text.c_str(), stdout);
    return 0;
}

}  // namespace

void setup_find(CLI::App& app)
{
    auto options = std::make_shared<FindOptions>();
    CLI::App* find = app.add_subcommand("find", "find the minibrot a view leads to, and the location of a zoom onto it");
    find->footer("From a view (--centre and --width as decimals of any length, or --location FILE), finds the "
                 "minibrot nearest its centre: its period by the ball method (the first iteration at which the "
                 "view's disc, carried to first order, holds 0) or --period; its nucleus by Newton's method in "
                 "fixed point, with the bits its size needs; its size and angle from the nucleus's orbit. It prints "
                 "them, an end width that frames the minibrot (3 times its size) and the iterations a render of "
                 "its end needs, and writes OUT.location (the format generate and render read): the view's width "
                 "with the nucleus as centre and that end width, so that render --location OUT.location "
                 "--to-width END ends on the minibrot, centred. The same file on every build.\n\n" +
                 exit_codes_help);
    CLI::Option* centre = find->add_option("--centre", options->centre, "the view's centre")->type_name("RE,IM");
    CLI::Option* width = find->add_option("--width", options->width, "its width in the plane")->type_name("W");
    CLI::Option* location =
        find->add_option("--location", options->location, "the view of a location file (at --width, if given)")
            ->type_name("FILE");
    location->excludes(centre);
    centre->needs(width);
    find->add_option("--period", options->period, "the minibrot's period, instead of the view's")
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1} << 32));
    find->add_option("--max-period", options->max_period, "the highest period the view's is looked for up to")
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1} << 32))
        ->capture_default_str();
    find->add_flag("--force", options->force, "replace OUT.location if it is a regular file");
    find->add_option("OUT", options->out, "the location file to write (.location is added if missing)")->required();
    find->callback([options, centre, location] {
        if (centre->count() == 0 && location->count() == 0) {
            print_error("find needs a view: --centre and --width, or --location");
            exit_with(exit_usage);
        }
        exit_with(run_find(*options));
    });
}

}  // namespace zqv
