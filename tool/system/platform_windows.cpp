// zqvtool on Windows: Ctrl-C and Ctrl-Break through the C runtime's
// signals, new files through _open's _O_EXCL, input files through CreateFile
// checked by GetFileType, locks through LockFileEx.
#include <windows.h>

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

// A folder does not open as a file; a device name (NUL, CON) or a pipe
// opens at once and is then told apart from a file on a disk.
std::optional<std::string> open_input_file(const std::string& path, std::FILE*& file)
{
    file = nullptr;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::string("it is not a regular file");
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return std::string(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? std::strerror(ENOENT)
                           : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? std::strerror(EACCES)
                                                                                               : std::strerror(EIO));
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return std::string("it is not a regular file");
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return std::string(std::strerror(errno));
    }
    file = _fdopen(fd, "rb");
    if (file == nullptr) {
        _close(fd);
        return std::string(std::strerror(errno));
    }
    return std::nullopt;
}

// The handle stays open, and the lock held, until the process ends.
std::optional<std::string> lock_until_exit(const std::string& path)
{
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::string(std::strerror(EACCES));
    OVERLAPPED at{};
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        return std::string(error == ERROR_LOCK_VIOLATION ? "another zqvtool holds it" : std::strerror(EACCES));
    }
    return std::nullopt;
}

}  // namespace zqv
