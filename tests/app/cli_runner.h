#pragma once
// Runs the globaro program as a user would, for the tests of its command line,
// and other programs (readers we did not write) on what it made.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace globaro::testing_cli {

struct Outcome {
    int status = -1;     // the exit status, -1 when the program did not exit normally
    std::string output;  // standard output and error together
};

// Runs a shell command line and collects what it prints.
inline Outcome runShell(const std::string& commandLine) {
    const std::string command = commandLine + " 2>&1";
    Outcome o;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return o;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) o.output.append(buffer.data(), n);
    const int raw = pclose(pipe);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}

// Runs `globaro ARGUMENTS` through the shell, quotes and all, after `shell`
// (limits or variables: "ulimit -f 16; "), and collects what it prints.
inline Outcome runCli(const std::string& arguments, const std::string& shell = "") {
    return runShell(shell + std::string(GLOBARO_CLI_PATH) + " " + arguments);
}

}  // namespace globaro::testing_cli
