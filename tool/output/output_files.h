// The files zqvtool writes: what may stand at an output's name, and the
// temporary files an output is written under beside it until it is
// complete. generate, export and render share them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tool/output/pictures.h"

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

// Creates out's temporary file (its name in part) and begins the recording
// of the current view into it; the message saying why not, if it failed.
std::optional<std::string> start_recording_part(const std::string& out, std::string& part);

// Writes text to path through a new temporary file beside it that takes the
// name path (replacing what is there) only when it is whole: a full disk or
// a render beside this one never leaves a part of it. The reason if it
// failed, with nothing left behind.
std::optional<std::string> write_whole_file(const std::string& path, const std::string& text);

// Gives the temporary file part the name out, if check_output still allows it.
std::optional<std::string> give_name(const std::string& part, const std::string& out, bool force);

// The files an output of total pictures makes: out itself, or the names a
// PNG pattern gives pictures 1 to total.
std::vector<std::string> output_names(const std::string& out, std::int64_t total);

// Why the output's files may not be written (check_output of each), or its
// folder is missing; nothing if they may.
std::optional<std::string> check_outputs(const std::string& out, const std::vector<std::string>& names, bool force);

// Writes an output's pictures: catches stop signals, opens the picture output
// under new temporary names, lets write_all hand it the pictures, and gives
// the files their names when all is written (a forced PNG pattern then keeps
// no pictures numbered past its own); otherwise removes them. The reason if
// it failed or was stopped.
std::optional<std::string> write_pictures(const std::string& out, const std::vector<std::string>& names, bool force,
                                          int width, int height, int fps, PictureKind kind,
                                          const EncoderSettings& settings,
                                          const std::function<std::optional<std::string>()>& write_all);

}  // namespace zqv
