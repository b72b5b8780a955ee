// zqvtool on Windows: Ctrl-C and Ctrl-Break through the C runtime's
// signals, new files through _open's _O_EXCL.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "tool/system/platform.h"

namespace zqv {

// The runtime calls on_stop on a thread of its own, with the signal's action
// already reset to the default, so that a second one ends the program.
void catch_stop_signals(void (*on_stop)(int))
{
    for (const int signal : {SIGINT, SIGBREAK}) {
        if (std::signal(signal, on_stop) == SIG_IGN)
            std::signal(signal, SIG_IGN);
    }
}

const char* signal_name(int signal)
{
    return signal == SIGINT ? "Ctrl-C" : signal == SIGBREAK ? "Ctrl-Break" : "a signal";
}

void write_error_now(const char* text, std::size_t size)
{
    _write(2, text, static_cast<unsigned>(size));
}

std::optional<std::string> create_new_file(const std::string& path)
{
    const int file = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (file < 0)
        return std::strerror(errno);
    _close(file);
    return std::nullopt;
}

}  // namespace zqv
