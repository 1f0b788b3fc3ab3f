// Nothing is lost when writing fails or a run is stopped: a full disk under the
// settings and action writers (the image writer's: tests/data/cli_cases.txt),
// a signal, a cancel during the write.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/demo_panorama.h"
#include "app/descriptor_store.h"
#include "app/filter_host.h"
#include "app/image_io.h"
#include "platform/temp_folder.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, emptied first.
std::string folderFor(const std::string& name) {
    const fs::path folder = fs::path(::testing::TempDir()) / ("globaro_safe_" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder.string();
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The entries of a folder other than the ones named.
std::vector<std::string> strayFiles(const std::string& folder, const std::vector<std::string>& expected) {
    std::vector<std::string> stray;
    for (const auto& entry : fs::directory_iterator(folder))
        if (std::ranges::count(expected, entry.path().filename().string()) == 0) stray.push_back(entry.path());
    return stray;
}

Document demo() {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDemoPanorama(d, 256, 128, 8, error)) << error;
    return d;
}

// Whether `write` succeeds in a child process whose files may not grow past
// `limit` bytes, as on a nearly full disk (only for writers without threads).
bool succeedsWithRoomFor(std::size_t limit, const std::function<bool()>& write) {
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);  // the write fails instead of the process
        const rlimit room{limit, limit};
        setrlimit(RLIMIT_FSIZE, &room);
        _exit(write() ? 0 : 1);
    }
    int raw = 0;
    waitpid(pid, &raw, 0);
    return WIFEXITED(raw) && WEXITSTATUS(raw) == 0;
}

bool saveImage(const std::string& path) {
    std::string error;
    return saveDocument(path, demo(), 0, error);
}

TEST(FullDisk, SettingsAndActionFilesKeepTheOldFile) {
    const std::string folder = folderFor("disk_files");
    const std::pair<const char*, std::function<bool(const std::string&)>> writers[] = {
        {"settings.q2q",
         [](const std::string& p) { return writeWholeFile(p, std::vector<std::uint8_t>(20000, 7)) == kFileOk; }},
        {"action.json",
         [](const std::string& p) {
             RecordedAction action;
             action.descriptor.items.resize(400);
             std::string error;
             return saveActionFile(p, action, error);
         }},
    };
    for (const auto& [name, write] : writers) {
        const std::string target = folder + "/" + name;
        put(target, "old");
        EXPECT_FALSE(succeedsWithRoomFor(4096, [&] { return write(target); })) << name;
        EXPECT_EQ(contents(target), "old");
        EXPECT_TRUE(succeedsWithRoomFor(1 << 20, [&] { return write(target); })) << name;
        EXPECT_NE(contents(target), "old");
    }
    EXPECT_TRUE(strayFiles(folder, {"settings.q2q", "action.json"}).empty());
}

// A state file that already holds the bytes is left in place (the same inode), not replaced.
TEST(StateFiles, UnchangedBytesLeaveTheFileInPlace) {
    const std::string target = folderFor("state_files") + "/map";
    const auto inode = [&] {
        struct stat info {};
        return ::stat(target.c_str(), &info) == 0 ? info.st_ino : ino_t{0};
    };
    ASSERT_EQ(writeWholeFile(target, std::vector<std::uint8_t>(100, 1)), kFileOk);
    const auto first = inode();
    ASSERT_EQ(writeWholeFile(target, std::vector<std::uint8_t>(100, 1)), kFileOk);
    EXPECT_EQ(inode(), first);
    ASSERT_EQ(writeWholeFile(target, std::vector<std::uint8_t>(101, 1)), kFileOk);
    EXPECT_NE(inode(), first);
    EXPECT_EQ(contents(target).size(), 101u);
}

// Starts `globaro ARGS` with its output in `log`; returns its process id.
pid_t start(const std::vector<std::string>& args, const std::string& log) {
    const pid_t pid = fork();
    if (pid == 0) {
        // As from a terminal, whatever the test runner ignores.
        for (const int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char*> argv{const_cast<char*>(GLOBARO_CLI_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(GLOBARO_CLI_PATH, argv.data());
        _exit(127);
    }
    return pid;
}

// Waits until the process catches `signal` (its handlers are in place).
bool catches(pid_t pid, int signal) {
    for (int i = 0; i < 2000; ++i) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1))
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

int exitStatus(pid_t pid) {
    int raw = 0;
    waitpid(pid, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// The state letter and the parent of a process (state 0 when it is gone).
std::pair<char, pid_t> stateOf(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    char state = 0;
    pid_t parent = 0;
    if (close != std::string::npos) std::istringstream(line.substr(close + 2)) >> state >> parent;
    return {state, parent};
}

std::vector<pid_t> childrenOf(pid_t pid) {
    std::vector<pid_t> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") == std::string::npos && stateOf(name).second == pid)
            children.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return children;
}

class StopSignal : public ::testing::TestWithParam<int> {};

TEST_P(StopSignal, StopsTheRunWhichWritesNothing) {
    const int signal = GetParam();
    const std::string folder = folderFor("signal_" + std::to_string(signal));
    ASSERT_TRUE(saveImage(folder + "/in.png"));
    const pid_t pid =
        start({"render", folder + "/in.png", folder + "/out.png", "--size", "6000x3000", "--quiet"}, folder + "/log");
    ASSERT_TRUE(catches(pid, signal));
    kill(pid, signal);
    EXPECT_EQ(exitStatus(pid), 130);
    EXPECT_EQ(contents(folder + "/log"), "globaro: stopped; \"" + folder + "/out.png\" was not written\n");
    EXPECT_TRUE(strayFiles(folder, {"in.png", "log"}).empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return "signal" + std::to_string(info.param); });

TEST(StopSignal, StopsAWholeBatchAndItsWorkers) {
    const std::string folder = folderFor("batch");
    for (const char* name : {"a", "b", "c", "d"}) ASSERT_TRUE(saveImage(folder + "/" + name + ".png"));
    const pid_t pid = start({"render", folder + "/a.png", folder + "/b.png", folder + "/c.png", folder + "/d.png",
                             "--out", folder + "/{name}-out.png", "--jobs", "2", "--size", "6000x3000", "--quiet"},
                            folder + "/log");
    std::vector<pid_t> workers;
    for (int i = 0; i < 2000 && workers.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        workers = childrenOf(pid);
    }
    ASSERT_FALSE(workers.empty());
    for (const pid_t worker : workers) ASSERT_TRUE(catches(worker, SIGTERM));
    kill(pid, SIGTERM);
    EXPECT_EQ(exitStatus(pid), 130);
    // The workers are gone with it, and no file appears afterwards.
    for (const pid_t worker : workers) {
        const char state = stateOf(std::to_string(worker)).first;
        EXPECT_TRUE(state == 0 || state == 'Z') << worker;  // gone, or waiting to be reaped
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(strayFiles(folder, {"a.png", "b.png", "c.png", "d.png", "log"}).empty());
    EXPECT_NE(contents(folder + "/log").find("globaro: stopped; 0 of 4 files rendered"), std::string::npos);
}

// A cancel that comes while the file is being written still keeps it out.
TEST(StopSignal, ACancelDuringTheWriteKeepsTheTargetAsItWas) {
    const std::string folder = folderFor("late");
    const std::string target = folder + "/out.png";
    put(target, "old");
    const Document doc = demo();
    for (const std::int32_t rowsBefore : {0, 64, 128}) {
        ImageFileWriter writer;
        std::string error;
        ASSERT_TRUE(writer.begin(target, doc, 0, false, error)) << error;
        ASSERT_TRUE(writer.writeRows(rowsBefore, error)) << error;
        cancelRequested() = true;
        EXPECT_FALSE(writer.commit(error));
        cancelRequested() = false;
        EXPECT_EQ(error, "cannot write \"" + target + "\": stopped");
        EXPECT_EQ(contents(target), "old");
        EXPECT_TRUE(strayFiles(folder, {"out.png"}).empty());
    }
}

}  // namespace
}  // namespace globaro
