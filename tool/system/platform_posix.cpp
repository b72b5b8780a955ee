// zqvtool on POSIX systems: stop signals through sigaction, new files
// through open's O_EXCL, input files through a non-blocking open checked by
// fstat, locks through flock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>

#include "tool/system/platform.h"

namespace zqv {

void catch_stop_signals(void (*on_stop)(int))
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;
        action.sa_handler = on_stop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;  // the second one takes the default action
        sigaction(signal, &action, nullptr);
    }
}

const char* signal_name(int signal)
{
    return signal == SIGINT ? "Ctrl-C" : signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : "a signal";
}

void write_error_now(const char* text, std::size_t size)
{
    [[maybe_unused]] const ssize_t written = write(2, text, size);  // nothing to do if it fails
}

std::optional<std::string> create_new_file(const std::string& path)
{
    // O_EXCL with O_CREAT also refuses a symbolic link, dangling or not.
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0)
        return std::strerror(errno);
    close(file);
    return std::nullopt;
}

// O_NONBLOCK makes opening a FIFO return at once; the opened handle is then
// checked, so a file swapped for something else after a check by name is
// refused too.
std::optional<std::string> open_input_file(const std::string& path, std::FILE*& file)
{
    file = nullptr;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::string(std::strerror(errno));
    struct stat status {};
    const bool looked = fstat(fd, &status) == 0;
    if (!looked || !S_ISREG(status.st_mode)) {
        const std::string reason = looked ? "it is not a regular file" : std::strerror(errno);
        close(fd);
        return reason;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file = fdopen(fd, "rb");
    if (file == nullptr) {
        const std::string reason = std::strerror(errno);
        close(fd);
        return reason;
    }
    return std::nullopt;
}

// MemAvailable of /proc/meminfo (free memory and the caches the kernel can
// drop), or the free pages where there is none, under the process's limits.
std::uint64_t memory_available()
{
    std::uint64_t available = 0;
    std::ifstream meminfo("/proc/meminfo");
    for (std::string key; meminfo >> key;) {
        std::uint64_t kilobytes = 0;
        meminfo >> kilobytes;
        if (key == "MemAvailable:") {
            available = kilobytes * 1024;
            break;
        }
        meminfo.ignore(1 << 10, '\n');
    }
    if (available == 0)
        available = static_cast<std::uint64_t>(sysconf(_SC_AVPHYS_PAGES)) * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        struct rlimit limit {};
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
            static_cast<std::uint64_t>(limit.rlim_cur) < available)
            available = static_cast<std::uint64_t>(limit.rlim_cur);
    }
    return available;
}

// The descriptor stays open, and the lock held, until the process ends.
std::optional<std::string> lock_until_exit(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return std::string(std::strerror(errno));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const std::string reason = errno == EWOULDBLOCK ? "another zqvtool holds it" : std::strerror(errno);
        close(fd);
        return reason;
    }
    return std::nullopt;
}

}  // namespace zqv
