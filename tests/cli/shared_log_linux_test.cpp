// The machine-wide log as the users of one machine meet it. Each run happens in a mount
// namespace of its own, where a scratch folder stands in for the machine-wide state folder, so
// that planted links and FIFOs reach no other test. Needs root (CI runs as root) for the
// namespace and for a second user.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/run_process.h"
#include "support/sim_server.h"

namespace fs = std::filesystem;

namespace {

const char kLogFolder[] = "Orvane/Tessaly/Dudiradaroz";
const std::vector<std::string> kSecondUser = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                              "--clear-groups"};

std::vector<std::string> asSecondUser(const std::vector<std::string>& command) {
    std::vector<std::string> argv = kSecondUser;
    argv.insert(argv.end(), command.begin(), command.end());
    return argv;
}

// The real program with `state` mounted over the machine-wide state folder; `runAs` goes in
// front of it (a user switch, a umask).
ProcessResult runWithState(const std::string& state, const std::vector<std::string>& runAs,
                           const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"/usr/bin/unshare",
                                     "--mount",
                                     "/bin/sh",
                                     "-c",
                                     "mount --bind \"$1\" \"$2\" && shift 2 && exec \"$@\"",
                                     "sh",
                                     state,
                                     TEST_STATE_DIR};
    argv.insert(argv.end(), runAs.begin(), runAs.end());
    argv.push_back(TRANSMITTER_EXE);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ProcessOptions options;
    options.deadlineSeconds = 20;
    return RunProcess(argv, options);
}

unsigned modeOf(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

class SharedLog : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root: a mount namespace and a second user";
        }
        fs::create_directories(TEST_STATE_DIR);
    }
    std::string folder() const { return state_.file(kLogFolder); }
    std::string log() const { return folder() + "/transmitter.log"; }

    ScratchFolder state_;
};

}  // namespace

TEST_F(SharedLog, EveryUserAppendsAndNoUserDeletesAnothersLog) {
    const ProcessResult first = runWithState(
        state_.path(), {"/bin/sh", "-c", "umask 077 && exec \"$@\"", "sh"}, {"first.qvtrx"});
    EXPECT_EQ(first.status, 1) << first.err;
    EXPECT_EQ(modeOf(folder()), 01777u) << "shared like /tmp";
    EXPECT_EQ(modeOf(log()), 0666u) << "whatever the first user's umask";

    if (RunProcess(asSecondUser({"/usr/bin/test", "-x", TRANSMITTER_EXE})).status != 0) {
        GTEST_SKIP() << "the build tree cannot be reached by another user";
    }
    const ProcessResult second = runWithState(state_.path(), kSecondUser, {"second.qvtrx"});
    EXPECT_EQ(second.status, 1) << second.err;
    const std::string lines = ReadWholeFile(log());
    EXPECT_NE(lines.find(" : first.qvtrx: Failed to Preprocess file first.qvtrx\n"),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find(" : second.qvtrx: Failed to Preprocess file second.qvtrx\n"),
              std::string::npos)
        << lines;

    RunProcess(asSecondUser({"/bin/rm", "-f", log()}));
    EXPECT_TRUE(FileExists(log())) << "another user removed the log";
}

namespace {

struct PlantedLog {
    const char* name;
    // Puts something in the log's place; `victim` is a private file of the user who runs.
    void (*plant)(const std::string& log, const std::string& victim);
};

const PlantedLog kPlanted[] = {
    {"SymbolicLink",
     [](const std::string& log, const std::string& victim) { fs::create_symlink(victim, log); }},
    {"HardLink",
     [](const std::string& log, const std::string& victim) { fs::create_hard_link(victim, log); }},
    {"Fifo",
     [](const std::string& log, const std::string&) { ASSERT_EQ(::mkfifo(log.c_str(), 0666), 0); }},
};

void PrintTo(const PlantedLog& c, std::ostream* out) {
    *out << c.name;
}

class PlantedSharedLog : public SharedLog, public ::testing::WithParamInterface<PlantedLog> {};

}  // namespace

// The run goes on with its messages on standard error only.
TEST_P(PlantedSharedLog, IsNeitherFollowedNorWaitedFor) {
    fs::create_directories(folder());
    fs::permissions(folder(), static_cast<fs::perms>(01777));
    const std::string victim = state_.write("private.txt", "");
    GetParam().plant(log(), victim);
    const ProcessResult run = runWithState(state_.path(), {}, {"planted.qvtrx"});
    EXPECT_FALSE(run.timedOut) << "the run waited on the log";
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(LoggedMessages(run.err),
              (std::vector<std::string>{"Failed to read file planted.qvtrx",
                                        "planted.qvtrx: Failed to Preprocess file planted.qvtrx"}));
    EXPECT_EQ(ReadWholeFile(victim), "");
}

INSTANTIATE_TEST_SUITE_P(Planted, PlantedSharedLog, ::testing::ValuesIn(kPlanted),
                         [](const auto& info) { return std::string(info.param.name); });
