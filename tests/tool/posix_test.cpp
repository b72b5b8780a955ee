// zqvtool on POSIX, in the Linux build: stop signals during generate,
// outputs that are not regular files, and a render spread by GNU parallel.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "test_support.h"
#include "tool_test_support.h"

using namespace zqv;

namespace {

using Clock = std::chrono::steady_clock;

// Starts zqvtool in folder with the arguments, its standard error into
// folder/err.txt; its process id.
pid_t start_tool(const char* folder, std::vector<const char*> arguments)
{
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder) == 0) {
            const int err = open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            arguments.insert(arguments.begin(), ZQVTOOL_PATH);
            arguments.push_back(nullptr);
            execv(ZQVTOOL_PATH, const_cast<char* const*>(arguments.data()));
        }
        _exit(127);
    }
    return child;
}

// Sends the signal once a file in folder other than err.txt holds at least
// bytes (zqvtool makes its temporary file after it begins to catch stop
// signals), and the time until the process ended; its exit code.
int stop_tool(pid_t child, const char* folder, std::uintmax_t bytes, int signal, double& seconds)
{
    const Clock::time_point give_up = Clock::now() + std::chrono::seconds(60);
    for (bool big = false; !big && Clock::now() < give_up;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::error_code error;
            big = big || (entry.path().filename() != "err.txt" && entry.file_size(error) >= bytes);
        }
    }
    const Clock::time_point sent = Clock::now();
    kill(child, signal);
    int status = 0;
    waitpid(child, &status, 0);
    seconds = std::chrono::duration<double>(Clock::now() - sent).count();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> names_in(const char* folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ToolSignals, SigtermKeepsWholeFramesAndCtrlCStopsEvenALongFrame)
{
    std::string out, err;
    ASSERT_EQ(run_tool("generate --frames 8 --force whole.zqv", out, err), 0) << err;
    const std::vector<std::uint8_t> whole = read_file("whole.zqv");

    std::filesystem::remove_all("stop");
    std::filesystem::create_directory("stop");
    double seconds;
    pid_t child = start_tool("stop", {"generate", "--frames", "40", "--past-precision", "x.zqv"});
    EXPECT_EQ(stop_tool(child, "stop", recording_size(5), SIGTERM, seconds), 128 + SIGTERM);
    EXPECT_EQ(names_in("stop"), (std::vector<std::string>{"err.txt", "x.zqv"}));
    const std::vector<std::uint8_t> kept = read_file("stop/x.zqv");
    ASSERT_GE(kept.size(), recording_size(5));
    EXPECT_EQ((kept.size() - recording_header_bytes) % frame_bytes, 0u);
    EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + recording_size(5), kept.begin()));

    // Its first frame takes minutes at this cap; no frame is whole, nothing is kept.
    std::filesystem::remove_all("stop");
    std::filesystem::create_directory("stop");
    child = start_tool("stop", {"generate", "--cap", "50000000", "--centre", "-0.743643887037151,0.131825904205330",
                                "--width", "4", "x.zqv"});
    EXPECT_EQ(stop_tool(child, "stop", 0, SIGINT, seconds), 128 + SIGINT);
    EXPECT_LT(seconds, 5.0);  // a second or so, on a busy machine
    EXPECT_EQ(names_in("stop"), std::vector<std::string>{"err.txt"});
    const std::vector<std::uint8_t> said = read_file("stop/err.txt");
    EXPECT_NE(std::string(said.begin(), said.end()).find("Ctrl-C received, stopping"), std::string::npos);
}

// A render stops within a second of a signal, in the middle of a key frame
// of double precision at a high cap too, and leaves nothing.
TEST(ToolSignals, ARenderStopsWithinASecondInTheMiddleOfAKeyFrame)
{
    std::filesystem::create_directory("stop");
    // The period-3 bulb fills the view: its points take the whole cap each.
    const pid_t child = start_tool("stop", {"render", "--size", "320x180", "--centre", "-0.1225,0.7449", "--width",
                                            "0.1", "--frames", "4", "--cap", "1000000", "r%03d.png"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const Clock::time_point sent = Clock::now();
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM);
    EXPECT_LT(seconds, 2.0);  // a tenth of a second or so; a key frame of this cap takes far longer
    EXPECT_EQ(names_in("stop"), std::vector<std::string>{"err.txt"});
}

TEST(ToolOutputs, NeverReplacesWhatIsNotARegularFileNorExceedsGifRates)
{
    std::string out, err;
    ASSERT_EQ(run_tool("generate --frames 8 --force zoom.zqv", out, err), 0) << err;
    std::filesystem::remove_all("odd");
    std::filesystem::create_directory("odd");
    std::filesystem::create_symlink("nowhere.zqv", "odd/link.zqv");  // dangling
    ASSERT_EQ(mkfifo("odd/fifo.mkv", 0644), 0);
    EXPECT_EQ(run_tool("generate --frames 4 odd/link.zqv", out, err), 1);
    EXPECT_NE(err.find("symbolic link"), std::string::npos) << err;
    EXPECT_EQ(run_tool("export --force zoom.zqv odd/fifo.mkv", out, err), 1);
    EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
    EXPECT_TRUE(std::filesystem::is_symlink("odd/link.zqv"));
    EXPECT_TRUE(std::filesystem::is_fifo("odd/fifo.mkv"));
    EXPECT_EQ(names_in("odd").size(), 2u);

    EXPECT_EQ(run_tool("export --fps 30 zoom.zqv odd/fast.gif", out, err), 2);
    EXPECT_NE(err.find("1, 2, 4, 5, 10, 20, 25 or 50 pictures a second"), std::string::npos) << err;
}

// A FIFO with no writer, in the place of any file zqvtool reads, is refused
// within a second instead of waiting for a writer for ever.
TEST(ToolInputs, AFifoIsRefusedAtOnce)
{
    ASSERT_EQ(mkfifo("fifo", 0644), 0);
    std::filesystem::create_directories("keys_a");
    std::filesystem::create_directories("keys_b");
    ASSERT_EQ(mkfifo("keys_a/keys.location", 0644), 0);
    ASSERT_EQ(mkfifo("keys_b/key_00000.zqk", 0644), 0);
    auto rendering = [](std::vector<const char*> more) {
        more.insert(more.begin(), {"render", "--size", "32x24", "--frames", "1", "--fps", "2"});
        more.push_back("o%03d.png");
        return more;
    };
    const std::vector<std::vector<const char*>> commands = {
        {"generate", "--frames", "4", "--location", "fifo", "o.zqv"},
        rendering({"--location", "fifo"}),
        rendering({"--palette", "fifo"}),
        rendering({"--keyframes", "keys_a"}),
        rendering({"--keyframes", "keys_b"}),
        {"info", "fifo"},
    };
    for (const std::vector<const char*>& arguments : commands) {
        const pid_t child = start_tool(".", arguments);
        const Clock::time_point give_up = Clock::now() + std::chrono::seconds(5);  // a second or so, on a busy machine
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0 && Clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (Clock::now() >= give_up) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << arguments[0] << " " << arguments[arguments.size() - 2] << " waited on a FIFO";
            continue;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
        const std::vector<std::uint8_t> said = read_file("err.txt");
        EXPECT_NE(std::string(said.begin(), said.end()).find("not a regular file"), std::string::npos)
            << std::string(said.begin(), said.end());
    }
}

// A key frame folder is used by one render at a time: while another process
// holds its lock, a render with it is refused and leaves it as it was.
TEST(ToolInputs, AKeyFrameFolderInUseIsRefused)
{
    std::filesystem::create_directories("keys");
    const int lock = open("keys/keys.lock", O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    const std::string render = "render --size 32x24 --frames 1 --fps 2 --keyframes keys ";
    std::string out, err;
    EXPECT_EQ(run_tool(render + "first%03d.png", out, err), 1);
    EXPECT_NE(err.find("keys is in use by another render"), std::string::npos) << err;
    EXPECT_EQ(names_in("keys"), std::vector<std::string>{"keys.lock"});
    close(lock);
    EXPECT_EQ(run_tool(render + "second%03d.png", out, err), 0) << err;
}

// The README's spread render on this machine: GNU parallel with two local
// workers (the login ":" twice), each job a range of key frames into its
// own copy of the folder, then the key frames combined and one render from
// them: the one-machine render's pictures, computing nothing.
TEST(ToolSpread, GnuParallelWithTwoLocalWorkersGivesTheOneMachineRender)
{
    ASSERT_EQ(std::system("parallel --version >/dev/null 2>&1"), 0) << "GNU parallel is not installed";
    const std::string tool = ZQVTOOL_PATH;
    const std::string zoom = "render --centre -0.74364383835314015337701612511,0.13182584444472024643843614133 "
                             "--width 1e-12 --to-width 1e-17 --size 64x36 --fps 2 --cap 8192 ";
    std::filesystem::remove_all("spread_by_parallel");
    std::filesystem::create_directories("spread_by_parallel/one");
    std::filesystem::create_directories("spread_by_parallel/spread");
    // The steps as a script, in the README's order.
    std::ofstream("spread_by_parallel/spread.sh")
        << "set -e\ncd spread_by_parallel\nprintf '2/:\\n' >hosts\n"
        << tool << " " << zoom << "one/%03d.png 2>/dev/null\n"
        << tool << " " << zoom << "--keyframes keys --keys 0-0 2>/dev/null\n"
        << "seq 1 6 17 | parallel --will-cite --sshloginfile hosts 'cp -r keys keys-{} && " << tool
        << " render --keyframes keys-{} --keys {}-$(({}+5)) 2>/dev/null'\n"
        << "for part in keys-*; do cp $part/key_*.zqk keys/; done\n"
        << tool << " render --keyframes keys --size 64x36 --fps 2 spread/%03d.png 2>err.txt\n";
    ASSERT_EQ(std::system("bash spread_by_parallel/spread.sh"), 0);
    const std::vector<std::uint8_t> err = read_file("spread_by_parallel/err.txt");
    EXPECT_NE(std::string(err.begin(), err.end()).find("0 key frames computed"), std::string::npos);
    EXPECT_EQ(names_in("spread_by_parallel/one"), names_in("spread_by_parallel/spread"));
    for (const std::string& name : names_in("spread_by_parallel/one"))
        EXPECT_TRUE(read_file("spread_by_parallel/one/" + name) == read_file("spread_by_parallel/spread/" + name))
            << name;
}

}  // namespace
