#include "app/gui_command.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/exit_status.h"
#include "platform/temp_folder.h"
#include "settings/settings_file.h"

extern char** environ;

namespace globaro {

int runDialogProgram(const std::vector<std::string>& args) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string program = ((ec ? std::filesystem::path(".") : self.parent_path()) / "globaro-gui").string();
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    std::cout.flush();
    std::cerr.flush();
    pid_t pid = -1;
    if (const int rc = posix_spawn(&pid, program.c_str(), nullptr, nullptr, pointers.data(), environ); rc != 0) {
        std::cerr << "globaro: cannot start the dialog program \"" << program << "\": " << std::strerror(rc) << "\n";
        return kExitFailure;
    }
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0) {
        if (errno != EINTR) return kExitFailure;
    }
    if (WIFSIGNALED(raw)) {
        std::cerr << "globaro: the dialog program died (signal " << WTERMSIG(raw) << ")\n";
        return kExitFailure;
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : kExitFailure;
}

int editRunSettingsInDialog(const std::string& input, const std::string& output, RunSettingsOptions& run,
                            std::string& settingsFile) {
    if (!run.action.empty()) {
        std::cerr << "globaro: --dialog works with settings options and --preset, not with --action\n";
        return kExitUsage;
    }
    SettingsRecord settings{};
    std::string error;
    if (!buildRunSettings(run, settings, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    settingsFile = tempFolder() + "Globaro 2 dialog settings " + std::to_string(getpid()) + ".q2q";
    if (writeSettingsFile(settingsFile, settings, nullptr) != kFileOk) {
        std::cerr << "globaro: cannot write \"" << settingsFile << "\" for the dialog\n";
        return kExitFailure;
    }
    const int status = runDialogProgram({input, "--edit", settingsFile});
    if (status == kDialogCancelled) {
        std::cerr << "globaro: cancelled in the dialog; \"" << output << "\" was not written\n";
        return kExitFailure;
    }
    if (status != 0) return kExitFailure;  // the dialog program has said why
    RunSettingsOptions chosen;
    chosen.preset = settingsFile;
    chosen.record = run.record;
    run = chosen;
    return 0;
}

}  // namespace globaro
