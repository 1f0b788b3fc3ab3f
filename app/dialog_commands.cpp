#include "app/dialog_commands.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

#include "app/exit_status.h"
#include "app/run_settings.h"
#include "platform/temp_folder.h"
#include "platform/user_folders.h"
#include "projection/catalogue.h"
#include "settings/memory_dots.h"
#include "settings/preset_library.h"
#include "settings/presets.h"
#include "settings/random_settings.h"

namespace globaro {

namespace {

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// Defaults, as every run starts.
void freshSettings(SettingsRecord& s) {
    s = SettingsRecord{};
    resetRunState(s);
    resetToDefaults(s);
    resetExportOptions(s);
}

// One line of what settings show: output, input and the view.
std::string describeSettings(const SettingsRecord& s) {
    std::ostringstream out;
    out << outputProjectionName(s.outputProjection) << "\tfrom " << inputProjectionName(s.inputProjection) << "\tlat "
        << s.latitude << " lon " << s.longitude << " spin " << s.spin << " fov " << s.fov;
    return out.str();
}

std::string writeProblem(int status) {
    return status == kFileNotFound ? "its folder is missing or cannot be written" : "the write failed";
}

}  // namespace

std::string settingsFileProblem(const std::string& path, const SettingsReadResult& read) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (read.status == kFileNotFound) return std::filesystem::exists(status) ? "it cannot be opened" : "no such file";
    if (read.status == kFileReadFailed)
        return std::filesystem::is_regular_file(status) ? "it could not be read to its end" : "not a plain file";
    if (read.status != kFileOk) {
        if (read.version != 0) return "settings version " + std::to_string(read.version) + " is not known";
        return "not a settings file";
    }
    return "it ends before its last setting";
}

void addStartingPointOptions(CLI::App& command, RunSettingsOptions& o) {
    command.add_flag("--last", o.last, "Start from the settings of the last render (kept in the state folder)");
    command.add_flag("--little-planet", o.littlePlanet,
                     "The \"Little Planet\" view: stereographic, looking straight down, 110 degrees");
    using RandomView = RunSettingsOptions::RandomView;
    const auto choose = [&o](RandomView view) {
        if (o.random != RandomView::kNone && o.random != view)
            throw CLI::ValidationError("--random", "and --constrained draw different views; give one of them");
        o.random = view;
    };
    command.add_flag_function(
        "--random", [choose](std::int64_t) { choose(RandomView::kDice); },
        "A random view (latitude, longitude and spin)");
    command.add_flag_function(
        "--constrained", [choose](std::int64_t) { choose(RandomView::kConstrained); },
        "A random view in quarter turns");
    command.add_option("--seed", o.seed, "Seed of --random or --constrained, for a view that can be repeated");
}

void settleStartingPoint(RunSettingsOptions& o) {
    if (o.last && !o.preset.empty())
        throw CLI::ValidationError("--last",
                                   "starts from the last render's settings and cannot be combined with --preset");
    if (o.seed && o.random == RunSettingsOptions::RandomView::kNone)
        throw CLI::ValidationError("--seed", "needs --random or --constrained");
    if (o.random != RunSettingsOptions::RandomView::kNone && !o.seed) o.seed = std::random_device{}();
}

bool loadStartingSettings(const RunSettingsOptions& o, SettingsRecord& s, std::string& error) {
    if (o.last) {
        const std::string path = cachedSettingsPath();
        SettingsRecord work = s;
        const SettingsReadResult read = readSettingsFile(path, SettingsReadMode::kLoad, work, nullptr);
        if (read.status == kFileNotFound && !exists(path)) {
            error = "no settings of a last render in \"" + path + "\": nothing has been rendered yet";
            return false;
        }
        // A cached file is always written whole: one cut short is damaged.
        if (read.status != kFileOk || !read.complete) {
            error = "cannot use the last render's settings \"" + path + "\": " + settingsFileProblem(path, read);
            return false;
        }
        s = work;
    } else if (!o.preset.empty()) {
        const std::string path = findPreset(o.preset);
        if (path.empty()) {
            const std::string saved = presetPath(o.preset);
            error = "cannot read preset \"" + o.preset + "\": no such file" +
                    (saved.empty() ? std::string() : " and no saved preset \"" + saved + "\"");
            return false;
        }
        const SettingsReadResult read = readSettingsFile(path, SettingsReadMode::kLoad, s, nullptr);
        if (read.status != kFileOk) {
            error = "cannot read preset \"" + path + "\": " + settingsFileProblem(path, read);
            return false;
        }
    }
    if (o.littlePlanet) littlePlanet(s);
    if (o.random != RunSettingsOptions::RandomView::kNone) {
        RandomGenerator generator(o.seed.value_or(1));
        if (o.random == RunSettingsOptions::RandomView::kDice)
            randomAngles(s, generator);
        else
            constrainedAngles(s, generator);
    }
    return true;
}

namespace {

// Moves a damaged state file to a free name beside it and says so.
void setAside(const std::string& path, const std::string& what, const std::string& problem, std::ostream& warnings) {
    for (int n = 1; n <= 100; ++n) {
        const std::string aside = path + ".damaged" + (n == 1 ? std::string() : "-" + std::to_string(n));
        if (exists(aside)) continue;
        if (moveFile(path, aside)) {
            warnings << "globaro: " << what << " \"" << path << "\" was damaged (" << problem << "); kept as \""
                     << aside << "\"\n";
            return;
        }
        break;
    }
    // Another run may have set it aside meanwhile.
    if (exists(path))
        warnings << "globaro: " << what << " \"" << path << "\" is damaged (" << problem
                 << ") and could not be set aside\n";
}

}  // namespace

bool dotMapIsWellFormed(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t kBytes = (kDotCount + 1) * 4;
    return readWholeFile(path, kBytes + 1, bytes) == kFileOk && bytes.size() == kBytes && bytes[0] == 0 &&
           bytes[1] == 0 && bytes[2] == 0 && bytes[3] == kDotMapVersion;
}

void setAsideDamagedState(std::ostream& warnings) {
    const std::string cache = cachedSettingsPath();
    if (exists(cache)) {
        SettingsRecord probe;
        freshSettings(probe);
        const SettingsReadResult read = readSettingsFile(cache, SettingsReadMode::kLoad, probe, nullptr);
        if (read.status != kFileOk || !read.complete)
            setAside(cache, "the cached settings file", settingsFileProblem(cache, read), warnings);
    }
    const std::string map = dotMapPath();
    if (exists(map) && !dotMapIsWellFormed(map)) setAside(map, "the memory-dot map", "not a map of 25 dots", warnings);
}

namespace cli {

namespace {

// The dot map as the commands use it: a missing file is an empty map; a file
// that is not a map is refused, so that nothing overwrites it.
bool readDotMapChecked(DotMap& map, std::string& error) {
    clearDotMap(map);
    const std::string path = dotMapPath();
    if (!exists(path)) return true;
    if (!dotMapIsWellFormed(path) || loadDotMap(map) != kFileOk) {
        error = "the memory-dot map \"" + path + "\" is damaged; move it away to start with no dots kept";
        return false;
    }
    return true;
}

// Reads dot n (0..24) as it was parked.
bool readDot(int n, SettingsRecord& s, std::string& error) {
    freshSettings(s);
    MemoryDots dots;
    const DotUpdate update = loadDot(n, s, dots);
    if (update.status != kFileOk) {
        SettingsReadResult read;
        read.status = update.status;
        error = "cannot read memory dot " + std::to_string(n + 1) + " \"" + dotPath(n) +
                "\": " + settingsFileProblem(dotPath(n), read);
        return false;
    }
    return true;
}

// What every dots command does with the dot map: reads it and checks it (a
// missing file is an empty map; a damaged one is refused and left alone),
// lets `step` look at it or change it, and writes back a map that `step`
// changed. Returns the exit status, after one line saying why on failure;
// a failed step leaves the file as it was.
template <typename Step>
int withDotMap(Step step) {
    DotMap map;
    std::string error;
    if (!readDotMapChecked(map, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    const DotMap before = map;
    if (const int status = step(map); status != 0) return status;
    if (std::equal(std::begin(map.words), std::end(map.words), std::begin(before.words))) return 0;
    if (const int status = saveDotMap(map); status != kFileOk) {
        std::cerr << "globaro: cannot write the memory-dot map \"" << dotMapPath() << "\": " << writeProblem(status)
                  << "\n";
        return kExitFailure;
    }
    return 0;
}

}  // namespace

struct DialogCommands::State {
    CLI::App* preset = nullptr;
    CLI::App* presetSave = nullptr;
    CLI::App* presetList = nullptr;
    CLI::App* dots = nullptr;
    CLI::App* dotsList = nullptr;
    CLI::App* dotsPark = nullptr;
    CLI::App* dotsRecall = nullptr;
    CLI::App* dotsClear = nullptr;
    std::string presetName;
    int dot = 0;  // 1..25, as users count them
    bool force = false;
    RunSettingsOptions settings;

    int savePreset() const;
    int listPresets() const;
    int listDots() const;
    int parkDot() const;
    int recallDot() const;
    int clearDot() const;
};

namespace {

// The setting options, without those that only a render uses.
void addSavedSettingsOptions(CLI::App& command, RunSettingsOptions& options) {
    addRunSettingsOptions(command, options);
    for (const char* renderOnly : {"--action", "--record", "--dialog", "--no-dialog"})
        command.remove_option(command.get_option(renderOnly));
}

}  // namespace

DialogCommands::DialogCommands(CLI::App& app) : state_(std::make_unique<State>()) {
    State& s = *state_;
    const std::string folder = presetFolder();
    s.preset = app.add_subcommand("preset", "Save presets and list the saved ones");
    s.preset->require_subcommand(1);
    s.presetSave = s.preset->add_subcommand("save", "Save settings as a preset: NAME (kept in " +
                                                        (folder.empty() ? std::string("the preset folder") : folder) +
                                                        ") or a path; render --preset NAME uses it");
    s.presetSave->add_option("name", s.presetName, "Preset name or .q2q path")->required();
    s.presetSave->add_flag("--force", s.force, "Replace a preset of that name");
    addSavedSettingsOptions(*s.presetSave, s.settings);
    s.presetList = s.preset->add_subcommand("list", "List the saved presets");

    s.dots = app.add_subcommand("dots", "The 25 memory dots that park settings between runs");
    s.dots->require_subcommand(1);
    s.dotsList = s.dots->add_subcommand("list", "List the kept memory dots");
    s.dotsPark = s.dots->add_subcommand("park", "Park settings on memory dot N");
    s.dotsRecall = s.dots->add_subcommand(
        "recall", "Make the settings of memory dot N the last render's, for render --last, and show them");
    s.dotsClear = s.dots->add_subcommand("clear", "Clear memory dot N (it is no longer kept)");
    for (CLI::App* command : {s.dotsPark, s.dotsRecall, s.dotsClear})
        command->add_option("N", s.dot, "Dot number, 1..25")->required()->check(CLI::Range(1, kDotCount));
    s.dotsPark->add_flag("--force", s.force, "Replace the settings of a kept dot");
    addSavedSettingsOptions(*s.dotsPark, s.settings);
}

DialogCommands::~DialogCommands() = default;

bool DialogCommands::parsed() const { return state_->preset->parsed() || state_->dots->parsed(); }

int DialogCommands::run() const {
    const State& s = *state_;
    if (s.presetSave->parsed()) return s.savePreset();
    if (s.presetList->parsed()) return s.listPresets();
    if (s.dotsList->parsed()) return s.listDots();
    if (s.dotsPark->parsed()) return s.parkDot();
    if (s.dotsRecall->parsed()) return s.recallDot();
    if (s.dotsClear->parsed()) return s.clearDot();
    return kExitUsage;
}

int DialogCommands::State::savePreset() const {
    std::string error;
    std::string path = presetName;
    if (isPresetName(presetName)) {
        const std::string folder = presetFolder();
        if (folder.empty()) {
            std::cerr << "globaro: cannot tell where presets are kept: neither XDG_CONFIG_HOME nor HOME is set\n";
            return kExitFailure;
        }
        if (!makeFolders(folder, error)) {
            std::cerr << "globaro: " << error << "\n";
            return kExitFailure;
        }
        path = presetPath(presetName);
    }
    if (exists(path) && !force) {
        std::cerr << "globaro: preset \"" << path << "\" exists already; --force replaces it\n";
        return kExitFailure;
    }
    SettingsRecord record;
    if (!buildRunSettings(settings, record, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    if (const int status = globaro::savePreset(path, record, nullptr); status != kFileOk) {
        std::cerr << "globaro: cannot write preset \"" << path << "\": " << writeProblem(status) << "\n";
        return kExitFailure;
    }
    std::cout << "saved preset \"" << path << "\"\n";
    return 0;
}

int DialogCommands::State::listPresets() const {
    if (presetFolder().empty()) {
        std::cerr << "globaro: cannot tell where presets are kept: neither XDG_CONFIG_HOME nor HOME is set\n";
        return kExitFailure;
    }
    int damaged = 0;
    for (const PresetEntry& entry : globaro::listPresets()) {
        SettingsRecord record;
        freshSettings(record);
        const SettingsReadResult read = readSettingsFile(entry.path, SettingsReadMode::kLoad, record, nullptr);
        if (read.status != kFileOk) {
            std::cerr << "globaro: cannot read preset \"" << entry.path
                      << "\": " << settingsFileProblem(entry.path, read) << "\n";
            ++damaged;
            continue;
        }
        std::cout << entry.name << "\t" << describeSettings(record) << "\n";
    }
    return damaged > 0 ? kExitFailure : 0;
}

int DialogCommands::State::listDots() const {
    int damaged = 0;
    const int status = withDotMap([&](DotMap& map) {
        for (int n = 0; n < kDotCount; ++n) {
            if (map.words[n] == 0) continue;
            SettingsRecord record;
            std::string error;
            if (!readDot(n, record, error)) {
                std::cerr << "globaro: " << error << "\n";
                ++damaged;
                continue;
            }
            std::cout << n + 1 << "\t" << describeSettings(record) << "\n";
        }
        return 0;
    });
    return status == 0 && damaged > 0 ? kExitFailure : status;
}

int DialogCommands::State::parkDot() const {
    const int n = dot - 1;
    SettingsRecord record;
    const int status = withDotMap([&](DotMap& map) {
        if (map.words[n] != 0 && !force) {
            std::cerr << "globaro: memory dot " << dot << " is in use (\"" << dotPath(n)
                      << "\"); clear it first, or --force replaces it\n";
            return kExitFailure;
        }
        if (std::string error; !buildRunSettings(settings, record, error)) {
            std::cerr << "globaro: " << error << "\n";
            return kExitFailure;
        }
        MemoryDots dots;
        if (const DotUpdate update = saveDot(n, record, nullptr, dots); update.status != kFileOk) {
            std::cerr << "globaro: cannot write memory dot " << dot << " \"" << dotPath(n)
                      << "\": " << writeProblem(update.status) << "\n";
            return kExitFailure;
        }
        map.words[n] = 1;
        return 0;
    });
    if (status == 0) std::cout << "parked on memory dot " << dot << "\t" << describeSettings(record) << "\n";
    return status;
}

int DialogCommands::State::recallDot() const {
    const int n = dot - 1;
    SettingsRecord record;
    const int status = withDotMap([&](DotMap& map) {
        if (map.words[n] == 0) {
            std::cerr << "globaro: memory dot " << dot << " is empty (see globaro dots list)\n";
            return kExitFailure;
        }
        if (std::string error; !readDot(n, record, error)) {
            std::cerr << "globaro: " << error << "\n";
            return kExitFailure;
        }
        return 0;
    });
    if (status != 0) return status;
    setAsideDamagedState(std::cerr);
    if (const int written = saveCachedSettings(record); written != kFileOk) {
        std::cerr << "globaro: cannot write the cached settings \"" << cachedSettingsPath()
                  << "\": " << writeProblem(written) << "\n";
        return kExitFailure;
    }
    std::cout << "recalled memory dot " << dot << "\t" << describeSettings(record) << "\n";
    return 0;
}

int DialogCommands::State::clearDot() const {
    const int n = dot - 1;
    bool cleared = false;
    const int status = withDotMap([&](DotMap& map) {
        cleared = map.words[n] != 0;
        map.words[n] = 0;
        return 0;
    });
    if (status == 0 && cleared) std::cout << "cleared memory dot " << dot << "\n";
    return status;
}

}  // namespace cli
}  // namespace globaro
