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

namespace {

// The C runtime's text for a Win32 error, the same in every language.
std::string error_text(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return std::strerror(ENOENT);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return std::strerror(EACCES);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return std::strerror(EEXIST);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return std::strerror(ENOSPC);
    default: return std::strerror(EIO);
    }
}

}  // namespace

// Through Win32 rather than the C runtime, whose errno after a failed write
// does not always say why.
std::optional<std::string> write_new_file(const std::string& path, const void* data, std::size_t size)
{
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return error_text(GetLastError());
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) {
            const DWORD error = written == 0 && GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : GetLastError();
            CloseHandle(handle);
            return error_text(error);
        }
        bytes += written;
        size -= written;
    }
    if (!CloseHandle(handle))
        return error_text(GetLastError());
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
    if (handle == INVALID_HANDLE_VALUE)
        return error_text(GetLastError());
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

// What may still be committed (memory and page file) and, for the 32-bit
// program above all, what is left of its address space.
std::uint64_t memory_available()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return UINT64_MAX;
    return status.ullAvailPageFile < status.ullAvailVirtual ? status.ullAvailPageFile : status.ullAvailVirtual;
}

// The handle stays open, and the lock held, until the process ends.
std::optional<std::string> lock_until_exit(const std::string& path)
{
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return error_text(GetLastError());
    OVERLAPPED at{};
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        return error == ERROR_LOCK_VIOLATION ? "another zqvtool holds it" : error_text(error);
    }
    return std::nullopt;
}

}  // namespace zqv
