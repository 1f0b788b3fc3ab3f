// Every test program works in a temporary folder of its own, so that runs
// never read or overwrite the user's cached settings, memory dots, presets
// or undo files, and parallel test programs never see each other's. The
// temporary, state and configuration folders all point into it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class IsolatedTempFolder : public ::testing::Environment {
public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "globaro-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        folder_ = pattern;
        setenv("TMPDIR", folder_.c_str(), 1);
        setenv("XDG_STATE_HOME", (folder_ + "/state").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
    }
    void TearDown() override {
        if (folder_.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

private:
    std::string folder_;
};

const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new IsolatedTempFolder);

}  // namespace
