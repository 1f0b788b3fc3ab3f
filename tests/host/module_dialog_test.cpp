// The module's dialog step with a stand-in for the dialog program: the
// picture and settings it is handed, and what each of its answers does to
// the run.

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "host/module_dialog.h"
#include "platform/temp_folder.h"
#include "settings/memory_dots.h"
#include "settings/settings_file.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;
using host_test::quietRun;
using host_test::randomDocument;

// Sets or clears the variables that say whether a display is there, for one scope.
class DisplayEnvironment {
public:
    explicit DisplayEnvironment(bool display) {
        for (const char* name : kNames) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v != nullptr ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(name);
        }
        if (display) setenv("DISPLAY", ":77", 1);
    }
    ~DisplayEnvironment() {
        for (const auto& [name, value] : saved_) value ? setenv(name, value->c_str(), 1) : unsetenv(name);
        setModuleDialogProgram("");
    }

private:
    static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A dialog program that keeps the picture it was given and answers with `body`.
fs::path stubProgram(const fs::path& dir, const std::string& body) {
    const fs::path path = dir / "dialog-stub";
    std::ofstream(path) << "#!/bin/sh\ncp \"$1\" '" << (dir / "seen").string() << "'\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

TEST(ModuleDialog, EachAnswerOfTheDialogProgram) {
    const fs::path dir = fs::path(::testing::TempDir()) / "module-dialog";
    fs::create_directories(dir);
    SettingsRecord answer = host_test::preparedSettings();
    answer.latitude = 33.0f;
    ASSERT_EQ(writeSettingsFile((dir / "answer.q2q").string(), answer, nullptr), kFileOk);
    const std::string chosen = "cp '" + (dir / "answer.q2q").string() + "' \"$3\"; exit 0";
    struct Case {
        const char* what;
        bool display;
        const char* body;  // null: no program at all
        std::int16_t result;
        const char* says;  // part of the module's message, "" for none
        bool rendered;
        float latitude;
    };
    const Case cases[] = {
        {"OK with a choice", true, chosen.c_str(), 0, "", true, 33.0f},
        {"Cancel", true, "exit 3", userCanceledErr, "", false, 0.0f},
        {"OK with a damaged answer", true, "echo junk > \"$3\"; exit 0", 1, "The dialog's choice was lost", false,
         0.0f},
        {"the program fails", true, "exit 1", 0, "failed (exit status 1)", true, 0.0f},
        {"no program", true, nullptr, 0, "is not installed", true, 0.0f},
        {"no display", false, chosen.c_str(), 0, "no display", true, 0.0f},
    };
    for (const Case& c : cases) {
        const DisplayEnvironment environment(c.display);
        fs::remove(dir / "seen");
        fs::remove(cachedSettingsPath());
        setModuleDialogProgram(c.body != nullptr ? stubProgram(dir, c.body).string() : (dir / "absent").string());
        Document doc = randomDocument(40, 20, 3, false, 8, 2);
        const auto original = doc.pixels;
        FilterHost host(doc);
        std::string said;
        EXPECT_EQ(quietRun(host, PluginMain, true, &said).result, c.result) << c.what << ": " << said;
        EXPECT_EQ(std::string(c.says).empty(), said.empty()) << c.what << ": " << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << c.what << ": " << said;
        EXPECT_EQ(doc.pixels != original, c.rendered) << c.what;
        const auto* settings = static_cast<const SettingsRecord*>(host.parameterBlock());
        ASSERT_NE(settings, nullptr);
        EXPECT_EQ(settings->latitude, c.latitude) << c.what;
        EXPECT_EQ(fs::exists(cachedSettingsPath()), c.rendered) << c.what;
        // The program saw the whole picture, and nothing is left behind.
        if (c.display && c.body != nullptr) {
            const std::string seen = fileText(dir / "seen");
            EXPECT_EQ(seen.substr(0, 13), "P6\n40 20\n255\n") << c.what;
            EXPECT_TRUE(seen.substr(13) == std::string(original.begin(), original.end())) << c.what;
        }
        for (const auto& entry : fs::directory_iterator(tempFolder()))
            EXPECT_EQ(entry.path().filename().string().find("module dialog"), std::string::npos) << entry.path();
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace globaro
