// The progress a batch reports for scripts: one JSON object per line on
// standard error, from worker processes too.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "app/cli_runner.h"
#include "app/demo_panorama.h"
#include "app/image_io.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;

// The JSON lines among what a run printed.
std::vector<nlohmann::json> progressLines(const std::string& output) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("{")) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

TEST(Progress, JsonLinesOfABatchWithWorkers) {
    const fs::path dir = fs::temp_directory_path() / "progress";
    fs::create_directories(dir / "out");
    Document d;
    std::string error, inputs;
    ASSERT_TRUE(makeDemoPanorama(d, 256, 128, 8, error)) << error;
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        ASSERT_TRUE(saveDocument((dir / name).string(), d, 0, error)) << error;
        inputs += " '" + (dir / name).string() + "'";
    }
    const std::string batch = "render" + inputs + " --out '" + (dir / "out/{name}.jpg").string() +
                              "' --output Mollweide --size 256x128 --jobs 2";
    const auto o = testing_cli::runCli(batch + " --progress json");
    ASSERT_EQ(o.status, 0) << o.output;
    std::map<std::size_t, int> last;  // percent by file index
    std::map<std::size_t, std::string> state;
    for (const nlohmann::json& line : progressLines(o.output)) {
        const auto index = line.at("index").get<std::size_t>();
        EXPECT_EQ(line.at("count"), 3);
        EXPECT_TRUE(line.at("file").get<std::string>().ends_with(std::string(1, "abc"[index - 1]) + ".png"));
        EXPECT_TRUE(line.at("eta_seconds").is_null() || line.at("eta_seconds").get<double>() >= 0.0);
        const int percent = line.at("percent");
        EXPECT_GE(percent, last.count(index) != 0 ? last[index] : 0) << "file " << index << " went back";
        last[index] = percent;
        state[index] = line.at("state");
    }
    ASSERT_EQ(last.size(), 3u) << o.output;
    for (const auto& [index, percent] : last) {
        EXPECT_EQ(percent, 100) << "file " << index;
        EXPECT_EQ(state[index], "done") << "file " << index;
    }
    // Asked for none, there is none.
    const auto quiet = testing_cli::runCli(batch + " --progress none");
    EXPECT_EQ(quiet.status, 0) << quiet.output;
    EXPECT_TRUE(progressLines(quiet.output).empty()) << quiet.output;
}

}  // namespace
}  // namespace globaro
