#include "host/module_dialog.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/display.h"
#include "platform/temp_folder.h"
#include "settings/settings_file.h"

extern char** environ;

namespace globaro {
namespace {

// The dialog program's answers (see ui/gui_session.h).
constexpr int kProgramOk = 0;
constexpr int kProgramCancelled = 3;

std::string& programOverride() {
    static std::string path;
    return path;
}

// Runs `argv` and waits; the exit status, or -1 with the reason.
int runAndWait(std::vector<std::string> argv, std::string& why) {
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    std::fflush(nullptr);
    pid_t pid = -1;
    if (const int rc = posix_spawn(&pid, argv[0].c_str(), nullptr, nullptr, pointers.data(), environ); rc != 0) {
        why = "cannot start \"" + argv[0] + "\": " + std::strerror(rc);
        return -1;
    }
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0) {
        if (errno != EINTR) {
            why = "lost the dialog program \"" + argv[0] + "\"";
            return -1;
        }
    }
    if (!WIFEXITED(raw)) {
        why = "the dialog program \"" + argv[0] + "\" died";
        return -1;
    }
    return WEXITSTATUS(raw);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string moduleDialogProgram() {
    if (!programOverride().empty()) return programOverride();
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&moduleDialogProgram), &info) == 0 || info.dli_fname == nullptr)
        return "globaro-gui";
    std::error_code ec;
    const std::filesystem::path module = std::filesystem::canonical(info.dli_fname, ec);
    return ((ec ? std::filesystem::path(info.dli_fname) : module).parent_path() / "globaro-gui").string();
}

void setModuleDialogProgram(const std::string& path) { programOverride() = path; }

bool writeDialogImage(const ImagePyramid& pyramid, bool grey, const std::string& path, std::string& why) {
    if (pyramid.levelCount() == 0) {
        why = "no image is loaded";
        return false;
    }
    const PyramidLevel& level = pyramid.level(0);
    const bool bytes = level.storage == LevelStorage::kBytes;
    const int channels = grey ? 1 : 3, sampleBytes = bytes ? 1 : 2;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        why = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    bool ok =
        std::fprintf(file.get(), "P%d\n%d %d\n%d\n", grey ? 5 : 6, level.width, level.height, bytes ? 255 : 65535) > 0;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(level.width) * channels * sampleBytes);
    for (std::int32_t y = 0; ok && y < level.height; ++y) {
        std::uint8_t* out = row.data();
        for (std::int32_t x = 0; x < level.width; ++x) {
            float px[4];
            level.readPixel(x, y, px);
            for (int c = 0; c < channels; ++c) {
                // Colour 0..65535 in the levels' units; bytes are v * 257.
                const float v = std::isfinite(px[c]) ? std::clamp(px[c], 0.0f, 65535.0f) : 0.0f;
                const auto word = static_cast<std::uint16_t>(std::lround(bytes ? v / 257.0f : v));
                if (bytes) {
                    *out++ = static_cast<std::uint8_t>(word);
                } else {
                    *out++ = static_cast<std::uint8_t>(word >> 8);  // PNM samples are big-endian
                    *out++ = static_cast<std::uint8_t>(word & 0xff);
                }
            }
        }
        ok = std::fwrite(row.data(), 1, row.size(), file.get()) == row.size();
    }
    ok = std::fflush(file.get()) == 0 && ok;
    if (!ok) {
        why = "cannot write \"" + path + "\": " + std::strerror(errno);
        file.reset();
        std::remove(path.c_str());
    }
    return ok;
}

ModuleDialogOutcome runModuleDialog(const RenderSession& session, bool grey, SettingsRecord& settings,
                                    std::string& why) {
    if (!windowSystemReachable(why)) return ModuleDialogOutcome::kUnavailable;
    const std::string program = moduleDialogProgram();
    if (access(program.c_str(), X_OK) != 0) {
        why = "the dialog program \"" + program + "\" is not installed";
        return ModuleDialogOutcome::kUnavailable;
    }
    const std::string stem = tempFolder() + "Globaro 2 module dialog " + std::to_string(getpid());
    const std::string image = stem + (grey ? ".pgm" : ".ppm"), exchange = stem + ".q2q";
    if (!writeDialogImage(session.inputPyramid(), grey, image, why)) return ModuleDialogOutcome::kUnavailable;
    ModuleDialogOutcome outcome = ModuleDialogOutcome::kUnavailable;
    if (writeSettingsFile(exchange, settings, nullptr) != kFileOk) {
        why = "cannot write the settings to \"" + exchange + "\"";
    } else {
        const int status = runAndWait({program, image, "--edit", exchange}, why);
        if (status == kProgramCancelled) {
            outcome = ModuleDialogOutcome::kCancelled;
        } else if (status == kProgramOk) {
            // The choice is read into a copy first: a damaged answer leaves
            // the settings as they were.
            SettingsRecord chosen = settings;
            if (readSettingsFile(exchange, SettingsReadMode::kLoad, chosen, nullptr).status == kFileOk) {
                settings = chosen;
                outcome = ModuleDialogOutcome::kAccepted;
            } else {
                outcome = ModuleDialogOutcome::kFailed;
                why = "the settings chosen in the dialog could not be read back from \"" + exchange + "\"";
            }
        } else if (status > 0) {
            why = "the dialog program \"" + program + "\" failed (exit status " + std::to_string(status) + ")";
        }
    }
    std::remove(image.c_str());
    std::remove(exchange.c_str());
    return outcome;
}

}  // namespace globaro
