// Where zqvtool render's zoom goes: a start view of the program by name, or
// a centre and width from the command line, read in one place so a reader
// of longer decimals can take its place.
#pragma once

#include <optional>
#include <string>

namespace zqv {

struct Location {
    double centre_re = 0.0, centre_im = 0.0, width = 0.0;
};

// The program's start view of that name, or else centre ("RE,IM") and width;
// the reason if they are not a location.
std::optional<std::string> find_location(const std::string& view, const std::string& centre, double width,
                                         Location& location);

}  // namespace zqv
