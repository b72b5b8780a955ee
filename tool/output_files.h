// The files zqvtool writes: what may stand at an output's name, and the
// temporary files an output is written under beside it until it is
// complete. generate, export and render share them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zqv {

// Why path may not be written: something is there and force is not given,
// or it is anything but a regular file (force replaces regular files only;
// a symbolic link is never replaced); nothing if it may.
std::optional<std::string> check_output(const std::string& path, bool force);

// Creates out's temporary file beside it, new and empty: out.part, or
// out.2.part, out.3.part... when the name is taken, so that no existing file
// is ever opened or replaced. Its name in part, or the reason it failed.
std::optional<std::string> create_part_file(const std::string& out, std::string& part);

// The suffix of the temporary names of several outputs (the pictures of a
// PNG pattern): ".part", or ".2.part", ".3.part"... the first under which
// none of them has a file. Each is then made with create_new_file as it is
// written.
std::string free_part_suffix(const std::vector<std::string>& names);

// Gives the temporary file part the name out, if check_output still allows it.
std::optional<std::string> give_name(const std::string& part, const std::string& out, bool force);

// Gives every output file its own name from its temporary one (name +
// suffix), or removes them all.
std::optional<std::string> finish_files(const std::vector<std::string>& names, const std::string& suffix, bool keep,
                                        bool force);

// Removes the regular files in the pattern's folder whose names the pattern
// gives pictures after the last: a forced export leaves its own pictures alone.
void remove_later_pictures(const std::string& pattern, std::int64_t last);

}  // namespace zqv
