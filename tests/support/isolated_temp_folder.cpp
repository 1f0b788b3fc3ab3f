// Every test program works in a temporary folder of its own, so that runs
// never read or overwrite the user's cached settings, memory dots or undo
// files, and parallel test programs never see each other's.

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
