#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/strings.h"
#include "support/run_process.h"
#include "support/sim_server.h"

namespace fs = std::filesystem;

// The default mode through the real executable: the launching copy returns at once, and the
// background copy it starts runs on its own (a new session, no inherited descriptors) and
// writes to the same log. The test process makes itself the subreaper of its descendants,
// so that the background copy becomes its child once the launching copy has ended.
namespace {

using Clock = std::chrono::steady_clock;

std::string uniqueMarker(const std::string& what) {
    static int counter = 0;
    return what + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

std::string logFile() {
    return std::string(TEST_STATE_DIR) + "/Orvane/Tessaly/Dudiradaroz/transmitter.log";
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A log line without its "date time : " prefix.
std::string messageOf(const std::string& line) {
    const auto prefixEnd = line.find(" : ");
    return prefixEnd == std::string::npos ? line : line.substr(prefixEnd + 3);
}

std::vector<std::string> logMessagesWith(const std::string& marker) {
    std::vector<std::string> found;
    for (const auto& line : linesOf(ReadWholeFile(logFile()))) {
        if (line.find(marker) != std::string::npos) {
            found.push_back(messageOf(line));
        }
    }
    return found;
}

bool folderIsEmpty(const std::string& folder) {
    return fs::is_directory(folder) && fs::is_empty(folder);
}

// A listening socket on 127.0.0.1 with a port picked by the system, standing in for the
// server so that the test decides when the background copy gets its answers.
class HeldServer {
  public:
    HeldServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listener_, 4) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~HeldServer() {
        if (connection_ >= 0)
            ::close(connection_);
        if (listener_ >= 0)
            ::close(listener_);
    }
    std::string port() const { return std::to_string(port_); }

    bool accept(double seconds) {
        pollfd fd{listener_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(seconds * 1000)) != 1) {
            return false;
        }
        connection_ = ::accept(listener_, nullptr, nullptr);
        return connection_ >= 0;
    }
    // One line without its LF; empty after the deadline or when the peer closed.
    std::string readLine(double seconds) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(int(seconds * 1000));
        std::string line;
        while (Clock::now() < deadline) {
            pollfd fd{connection_, POLLIN, 0};
            if (::poll(&fd, 1, 20) != 1)
                continue;
            char c;
            if (::recv(connection_, &c, 1, 0) != 1)
                break;
            if (c == '\n')
                return line;
            line += c;
        }
        return std::string();
    }
    void send(const std::string& text) {
        ::send(connection_, text.data(), text.size(), MSG_NOSIGNAL);
    }

  private:
    int listener_ = -1;
    int connection_ = -1;
    int port_ = 0;
};

std::vector<std::string> commandLineOf(int pid) {
    const std::string raw = ReadWholeFile("/proc/" + std::to_string(pid) + "/cmdline");
    std::vector<std::string> argv;
    std::size_t start = 0;
    for (std::size_t end; (end = raw.find('\0', start)) != std::string::npos; start = end + 1) {
        argv.push_back(raw.substr(start, end - start));
    }
    return argv;
}

struct ProcessStat {
    std::string name;
    int parent = -1;
};

ProcessStat statOf(int pid) {
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    const auto nameStart = stat.find('(');
    const auto nameEnd = stat.rfind(')');
    ProcessStat result;
    if (nameStart == std::string::npos || nameEnd == std::string::npos)
        return result;
    result.name = stat.substr(nameStart + 1, nameEnd - nameStart - 1);
    std::istringstream rest(stat.substr(nameEnd + 1));
    std::string state;
    rest >> state >> result.parent;
    return result;
}

// The background copy this test adopted (running or ended, not yet reaped); -1 when none
// turns up before the deadline.
int adoptedCopy(double seconds = 10) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(int(seconds * 1000));
    const std::string executable = fs::path(TRANSMITTER_EXE).filename().string();
    do {
        DIR* proc = ::opendir("/proc");
        int found = -1;
        while (const dirent* entry = ::readdir(proc)) {
            const int pid = std::atoi(entry->d_name);
            if (pid > 0) {
                const ProcessStat stat = statOf(pid);
                if (stat.parent == ::getpid() && stat.name == executable.substr(0, 15)) {
                    found = pid;
                    break;
                }
            }
        }
        ::closedir(proc);
        if (found > 0)
            return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < deadline);
    return -1;
}

std::string descriptorTarget(int pid, int fd) {
    std::string target(4096, '\0');
    const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    target.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return target;
}

// Exit status of an adopted copy; -1000 after the deadline (it is then killed).
int waitForAdopted(int pid, double seconds) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(int(seconds * 1000));
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) != pid) {
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1000;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
}

class BackgroundLaunch : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        temporaryFolder_ = scratch_.path() + "/tmp";
        fs::create_directory(temporaryFolder_);
        user_ = uniqueMarker("bg-user");
        options_.extraEnvironment = {{"USERNAME", user_}, {"TMPDIR", temporaryFolder_}};
    }
    // A copy that a failed test left running must not be taken for the next test's copy.
    void TearDown() override {
        for (int copy; (copy = adoptedCopy(0)) > 0;) {
            ::kill(copy, SIGKILL);
            ::waitpid(copy, nullptr, 0);
        }
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    }
    ScratchFolder scratch_;
    std::string temporaryFolder_;
    std::string user_;
    ProcessOptions options_;
};

}  // namespace

TEST_F(BackgroundLaunch, NoArgumentsAtAllStillStartsACopy) {
    const ProcessResult launch = RunTransmitterExe({}, options_);
    EXPECT_EQ(launch.status, 0);
    EXPECT_EQ(launch.out, "");
    EXPECT_EQ(LoggedMessages(launch.err),
              (std::vector<std::string>{": Internal Error: can not replace file with temp file",
                                        "Background launch: User: " + user_}));
    // The copy finds no commands, prints the help to nobody and ends.
    const int copy = adoptedCopy();
    ASSERT_GT(copy, 0);
    EXPECT_EQ(waitForAdopted(copy, 30), 0);
}

// A command list is handed over on the copy's command line, without a temporary copy.
TEST_F(BackgroundLaunch, CopyIsDetachedAndRunsAfterTheLaunchReturned) {
    HeldServer server;
    const std::string portOption = "--port=" + server.port();
    // argv[0] names no real file: the copy is started from the running executable, and
    // argv[0] reaches it unchanged.
    options_.argv0 = "no such folder/transmitter";
    const ProcessResult launch = RunTransmitterExe(
        {"--check-full", "--cmd=SET MARK 1", "--check-back", "--host=127.0.0.1", portOption},
        options_);
    EXPECT_EQ(launch.status, 0);
    EXPECT_EQ(launch.out, "");
    const std::vector<std::string> expected = {
        ": Internal Error: can not replace file with temp file",
        "Background launch: User: " + user_};
    EXPECT_EQ(LoggedMessages(launch.err), expected);
    EXPECT_EQ(logMessagesWith(user_), std::vector<std::string>{expected[1]});

    // The copy cannot be done yet: it waits for the greeting that only comes below.
    ASSERT_TRUE(server.accept(30)) << "the copy never connected";
    const int copy = adoptedCopy();
    ASSERT_GT(copy, 0);
    EXPECT_EQ(commandLineOf(copy),
              (std::vector<std::string>{"no such folder/transmitter", "--check-internal-callback",
                                        "--cmd=SET MARK 1", "--host=127.0.0.1", portOption}));
    EXPECT_EQ(::getsid(copy), copy) << "a session of its own";
    for (int fd : {0, 1, 2}) {
        EXPECT_EQ(descriptorTarget(copy, fd), "/dev/null") << fd;
    }

    EXPECT_EQ(server.readLine(10), "FORCEREPLY");
    EXPECT_EQ(server.readLine(10), "SET MARK 1 ");  // each --cmd value ends with a blank
    server.send("READY\nOK\nOK\n");
    EXPECT_EQ(waitForAdopted(copy, 30), 0);
    EXPECT_TRUE(folderIsEmpty(temporaryFolder_));
}

TEST_F(BackgroundLaunch, ScriptGoesThroughATemporaryCopyThatTheCopyDeletes) {
    HeldServer server;
    const std::string script =
        scratch_.write(uniqueMarker("bg show") + ".qvtrx",
                       "*host=127.0.0.1\n*port=" + server.port() + "\nSET LEVEL 3\nSET MUTE 0\n");
    const ProcessResult launch =
        RunTransmitterExe({"--check-none", script, "--check-back", "--port=9"}, options_);
    ASSERT_EQ(launch.status, 0) << launch.err;
    EXPECT_EQ(launch.out, "");
    EXPECT_EQ(LoggedMessages(launch.err),
              std::vector<std::string>{"Background launch: User: " + user_ + " File: " + script});

    ASSERT_TRUE(server.accept(30)) << "the copy never connected";
    const int copy = adoptedCopy();
    ASSERT_GT(copy, 0);
    const std::vector<std::string> argv = commandLineOf(copy);
    ASSERT_EQ(argv.size(), 6u);
    const std::string temporaryCopy = argv[2];
    EXPECT_EQ(argv,
              (std::vector<std::string>{TRANSMITTER_EXE, "--check-internal-callback", temporaryCopy,
                                        "--port=9", "--removefile", "--originalfile=" + script}));
    EXPECT_EQ(fs::path(temporaryCopy).parent_path(), fs::path(temporaryFolder_));
    EXPECT_EQ(fs::path(temporaryCopy).filename().string().rfind("kqt", 0), 0u) << temporaryCopy;
    EXPECT_FALSE(FileExists(temporaryCopy)) << "read and deleted before the copy connects";

    // The copy checks the answers whatever check options the launch had: a bad answer is
    // reported, under the user's file name, in the same log.
    EXPECT_EQ(server.readLine(10), "FORCEREPLY");
    EXPECT_EQ(server.readLine(10), "SET LEVEL 3");
    EXPECT_EQ(server.readLine(10), "SET MUTE 0");
    server.send("READY\nOK\nOK\n*ERROR mute\n");
    EXPECT_NE(waitForAdopted(copy, 30), 0);
    EXPECT_EQ(logMessagesWith(script),
              (std::vector<std::string>{"Background launch: User: " + user_ + " File: " + script,
                                        script + ": Bad answer (127.0.0.1:" + server.port() +
                                            ") to command SET MUTE 0 (*ERROR mute)"}));
    EXPECT_TRUE(folderIsEmpty(temporaryFolder_));
}

TEST_F(BackgroundLaunch, TemporaryCopyThatCannotBeMadeEndsWithStatusOne) {
    const std::string script = scratch_.write(uniqueMarker("bg-notmp") + ".qvtrx", "SET A 1\n");
    options_.extraEnvironment["TMPDIR"] = scratch_.path() + "/absent";
    const ProcessResult launch = RunTransmitterExe({script}, options_);
    EXPECT_EQ(launch.status, 1);
    EXPECT_EQ(launch.out, "GetTempFileName failed (2)\n");
    EXPECT_EQ(LoggedMessages(launch.err),
              std::vector<std::string>{script + ": Open tmp file failed ! () 2"});
    EXPECT_EQ(adoptedCopy(0), -1) << "no copy was started";
}

namespace {

// A script and the files around it, written into `folder`; the arguments that run it (relative
// paths are taken from the folder). `planted` is the temporary folder, where another user of the
// machine may have put files of their own, naming `trapPort`.
struct RoadCase {
    const char* name;
    std::vector<std::string> (*prepare)(const ScratchFolder& folder, const std::string& port,
                                        const std::string& planted, const std::string& trapPort);
};

std::string head(const std::string& port) {
    return "*host=127.0.0.1\n*port=" + port + "\n";
}

const RoadCase kRoadCases[] = {
    {"TwoLevelsOfRelativeIncludes",
     [](const ScratchFolder& folder, const std::string& port, const std::string& planted,
        const std::string& trapPort) {
         fs::create_directory(folder.file("sub"));
         folder.write("sub/A.qvtrx", head(port) + "A1\n*include=B.qvtrx\nA2\n");
         folder.write("sub/B.qvtrx", "LOGIN ovrel,s3cretPW\nB1\n*include=C.qvtrx\n");
         folder.write("sub/C.qvtrx", "C1\n");
         std::ofstream(planted + "/C.qvtrx") << head(trapPort) << "INJECTED\n";
         return std::vector<std::string>{"sub/A.qvtrx"};
     }},
    {"CommentsBlanksByteOrderMarkAndCrLf",
     [](const ScratchFolder& folder, const std::string& port, const std::string&,
        const std::string&) {
         folder.write("show.qvtrx", "\xEF\xBB\xBF# head\r\n*host=127.0.0.1\r\n*port=" + port +
                                        " ## sim\r\n  #PRESET.LOAD=7\r\n\tLEVEL=2 ## tail\r\n"
                                        "\r\nLEVEL?\r\n");
         return std::vector<std::string>{"show.qvtrx"};
     }},
    {"EncipheredScriptWithALoadedFile",
     [](const ScratchFolder& folder, const std::string& port, const std::string&,
        const std::string&) {
         folder.write("logo.bin", std::string("\x00\x01\xAB\r\n", 5));
         const std::string plain = folder.write(
             "show.qvtrx", head(port) + "*loadfile=logo,logo.bin\n$SHOW=$logo$\nSHOW?\n");
         RunTransmitterExe({"-c", plain});
         fs::remove(plain);
         return std::vector<std::string>{"show.qvtrxc"};
     }},
    {"CommandListsInFrontOfAFile",
     [](const ScratchFolder& folder, const std::string& port, const std::string&,
        const std::string&) {
         folder.write("show.qvtrx", "LEVEL=1\nLEVEL?\n");
         return std::vector<std::string>{"--cmd=x", "--cmd=y^z", "--host=127.0.0.1",
                                         "--port=" + port, "show.qvtrx"};
     }},
};

std::vector<std::string> plus(std::vector<std::string> arguments, const std::string& last) {
    arguments.push_back(last);
    return arguments;
}

std::vector<std::string> temporaryCopiesIn(const std::string& folder) {
    std::vector<std::string> copies;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind("kqt", 0) == 0) {
            copies.push_back(entry.path().string());
        }
    }
    return copies;
}

// Cases are named in ctest's output by their own names.
void PrintTo(const RoadCase& c, std::ostream* out) {
    *out << c.name;
}

class DefaultRoad : public BackgroundLaunch, public ::testing::WithParamInterface<RoadCase> {};

}  // namespace

// The launching copy prepares the text once; the background copy sends it as it stands.
TEST_P(DefaultRoad, SendsExactlyWhatTheForegroundSends) {
    SimServer sim({"--value=LEVEL=3"});
    SimServer trap;
    ASSERT_TRUE(sim.started() && trap.started());
    ScratchFolder folder;
    const std::vector<std::string> arguments =
        GetParam().prepare(folder, sim.port(), temporaryFolder_, trap.port());
    options_.workingFolder = folder.path();

    const ProcessResult foreground = RunTransmitterExe(plus(arguments, "--check-full"), options_);
    const std::string sent = sim.received(1);
    ASSERT_NE(sent, "<not closed>") << foreground.err;

    const ProcessResult launch = RunTransmitterExe(plus(arguments, "--check-back"), options_);
    ASSERT_EQ(launch.status, 0) << launch.err;
    const int copy = adoptedCopy();
    ASSERT_GT(copy, 0);
    EXPECT_EQ(waitForAdopted(copy, 60), foreground.status);
    EXPECT_EQ(sim.received(2), sent);
    EXPECT_EQ(trap.connections(), 0) << "a planted file was run";
    EXPECT_EQ(temporaryCopiesIn(temporaryFolder_), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Scripts, DefaultRoad, ::testing::ValuesIn(kRoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

// Waits until a file is created in `folder`; false after the deadline.
bool waitForCreation(int watch, double seconds) {
    pollfd fd{watch, POLLIN, 0};
    return ::poll(&fd, 1, static_cast<int>(seconds * 1000)) == 1;
}

}  // namespace

// The temporary copy holds the plain script: an interrupt while it is written removes it.
TEST_F(BackgroundLaunch, AnInterruptedLaunchLeavesNoTemporaryCopy) {
    // Writing a copy of this size takes long enough to be interrupted half-way.
    scratch_.write("blob.bin", std::string(48u << 20, '\x5A'));
    const std::string script =
        scratch_.write("big.qvtrx", "*host=127.0.0.1\n*port=9\n*loadfile=blob,blob.bin\n");
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(::inotify_add_watch(watch, temporaryFolder_.c_str(), IN_CREATE), 0);
        // At the lowest priority, so that on a busy machine the test wakes and sends the signal
        // while the copy is still being written.
        BackgroundProcess launch({"/usr/bin/env", "TMPDIR=" + temporaryFolder_, "/usr/bin/nice",
                                  "-n", "19", TRANSMITTER_EXE, script});
        const bool created = waitForCreation(watch, 60);
        ::close(watch);
        ASSERT_TRUE(created) << "no temporary copy was made";
        ::kill(launch.pid(), signal);
        EXPECT_EQ(launch.wait(60), -1000) << "the launch ended by the signal " << signal;
        EXPECT_EQ(temporaryCopiesIn(temporaryFolder_), std::vector<std::string>{}) << signal;
        EXPECT_EQ(adoptedCopy(0), -1) << "no copy was started";
    }
}

TEST_F(BackgroundLaunch, ACopyBeyondTheFileSizeLimitIsAFailedLaunch) {
    scratch_.write("blob.bin", std::string(100000, '\x5A'));
    const std::string script = scratch_.write("big.qvtrx", "*loadfile=blob,blob.bin\n");
    const ProcessResult launch =
        RunProcess({"/usr/bin/prlimit", "--fsize=65536", TRANSMITTER_EXE, script}, options_);
    EXPECT_EQ(launch.status, 1);
    const std::vector<std::string> messages = LoggedMessages(launch.err);
    ASSERT_EQ(messages.size(), 1u) << launch.err;
    EXPECT_EQ(
        messages[0].rfind(script + ": Open tmp file failed ! (" + temporaryFolder_ + "/kqt", 0), 0u)
        << messages[0];
    EXPECT_TRUE(endsWith(messages[0], ".TMP) 27")) << messages[0];  // EFBIG
    EXPECT_EQ(temporaryCopiesIn(temporaryFolder_), std::vector<std::string>{});
    EXPECT_EQ(adoptedCopy(0), -1) << "no copy was started";
}
