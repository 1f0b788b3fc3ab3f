// The dialog's commands without a window, through the real program: presets
// saved and found by name, memory dots parked and recalled, random views,
// "Little Planet" and the last render's settings, and what each does with
// bad input. Every case runs in a fresh home of its own.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/cli_runner.h"
#include "app/demo_panorama.h"
#include "app/image_io.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;

// A step is a command line of globaro with the status it ends with and a
// part of what it prints; "sh …" runs a shell command instead (status 0
// expected unless given), "same A B" and "differ A B" compare two files.
// In every step {in} is a small panorama; the case's folder is the current
// one and holds home/, config/ (XDG_CONFIG_HOME) and state/ (XDG_STATE_HOME).
struct Step {
    Step(std::string c, int s = 0, std::string w = "") : command(std::move(c)), status(s), says(std::move(w)) {}
    std::string command;
    int status;
    std::string says;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const char* const kCache = "state/globaro2/Globaro\\ 2\\ cached\\ settings\\ D";

const std::vector<Case>& cases() {
    static const std::string cache = kCache;
    static const std::vector<Case> table = {
        {"a preset saved and found by name or path renders bit-identically",
         {{"preset save look --output Mollweide --lat 12.5 --spin 30 --glue 2", 0, "saved preset"},
          {"render {in} direct.png --output Mollweide --lat 12.5 --spin 30 --glue 2 --quiet"},
          {"render {in} named.png --preset look --quiet"},
          {"render {in} path.png --preset config/globaro2/presets/look.q2q --quiet"},
          {"same direct.png named.png"},
          {"same direct.png path.png"},
          {"preset list", 0, "look\tMollweide"},
          {"preset save look.q2q --lat 1", 1, "exists already; --force replaces it"},
          {"preset save look --force --little-planet", 0},
          {"render {in} planet.png --preset look --quiet"},
          {"render {in} button.png --little-planet --quiet"},
          {"same planet.png button.png"},
          {"differ planet.png direct.png"}}},
        {"a parked dot recalled gives the settings parked",
         {{"dots park 3 --output Mollweide --lat -20 --flip", 0, "parked on memory dot 3\tMollweide"},
          {"dots park 3 --lat 5", 1, "memory dot 3 is in use"},
          {"dots list", 0, "3\tMollweide"},
          {"dots recall 3", 0, "recalled memory dot 3"},
          {"render {in} recalled.png --last --quiet"},
          {"render {in} direct.png --output Mollweide --lat -20 --flip --quiet"},
          {"same recalled.png direct.png"},
          {"dots park 3 --force --lat 5", 0},
          {"dots clear 3", 0, "cleared memory dot 3"},
          {"dots recall 3", 1, "memory dot 3 is empty"},
          {"sh test -f 'state/globaro2/Globaro 2 A memory dot 2.q2q'"},  // cleared, not deleted
          {"dots park 26", 2, "not in range 1 to 25"},
          {"dots recall 0", 2, "not in range 1 to 25"}}},
        {"random views repeat with their seed and every render is the last one",
         {{"render {in} a.png --random --seed 5 --quiet"},
          {"render {in} b.png --random --seed 5 --quiet"},
          {"same a.png b.png"},
          {"render {in} last.png --last --quiet"},
          {"same a.png last.png"},
          {"render {in} c.png --random --seed 6 --quiet"},
          {"differ a.png c.png"},
          {"render {in} d.png --constrained --seed 5 --quiet"},
          {"render {in} e.png --constrained --seed 5 --quiet"},
          {"same d.png e.png"},
          {"render {in} f.png --seed 5", 2, "--seed: needs --random or --constrained"},
          {"render {in} f.png --random --constrained", 2, "give one of them"},
          {"render {in} f.png --last --preset look", 2, "cannot be combined with --preset"}}},
        {"bad files are named and kept",
         {{"render {in} out.png --last", 1, "nothing has been rendered yet"},
          {"render {in} out.png --preset nope", 1, "no saved preset \""},
          {"sh mkdir -p state/globaro2 config/globaro2/presets && printf junk > " + cache},
          {"render {in} out.png --last", 1, "settings D\": not a settings file"},
          {"sh test \"$(cat " + cache + ")\" = junk"},
          {"render {in} out.png --quiet", 0, "was damaged (not a settings file); kept as"},
          {"sh test \"$(cat " + cache + ".damaged)\" = junk"},
          {"sh printf junk > " + cache},  // an export runs the filter too
          {"export psd {in} o.psd --size 8x4 --quiet", 0, "settings D.damaged-2\""},
          {"sh printf junk > config/globaro2/presets/bad.q2q"},
          {"render {in} out.png --preset bad", 1, "presets/bad.q2q\": not a settings file"},
          {"preset list", 1, "cannot read preset \""},
          {"sh printf junk > 'state/globaro2/Globaro 2 memdot map 2'"},
          {"dots park 1", 1, "memdot map 2\" is damaged"},
          {"sh test \"$(cat 'state/globaro2/Globaro 2 memdot map 2')\" = junk"},
          {"render {in} out.png --quiet", 0, "memory-dot map \""},
          {"sh test \"$(cat 'state/globaro2/Globaro 2 memdot map 2.damaged')\" = junk"},
          {"dots list", 0, ""},
          {"sh rm -r state config && touch state config"},
          {"preset save x", 1, "cannot create the folder \""},
          {"dots park 1", 1, "cannot write memory dot 1 \""}}},
    };
    return table;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class DialogCommands : public ::testing::TestWithParam<Case> {};

TEST_P(DialogCommands, RoundTrip) {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path folder = fs::path(std::getenv("TMPDIR")) / replaced(name, "/", "-");
    fs::create_directories(folder);
    const std::string input = (folder / "in.png").string();
    {
        Document panorama;
        std::string error;
        ASSERT_TRUE(makeDemoPanorama(panorama, 64, 32, 8, error) && saveDocument(input, panorama, 0, error)) << error;
    }
    const std::string shell = "cd '" + folder.string() +
                              "' && export HOME=\"$PWD/home\" XDG_CONFIG_HOME=\"$PWD/config\" " +
                              "XDG_STATE_HOME=\"$PWD/state\"; ";
    for (const Step& step : GetParam().steps) {
        const std::string command = replaced(step.command, "{in}", "'" + input + "'");
        SCOPED_TRACE(command);
        const std::string word = command.substr(0, command.find(' '));
        if (word == "same" || word == "differ") {
            const std::string rest = command.substr(word.size() + 1);
            const std::string a = rest.substr(0, rest.find(' ')), b = rest.substr(rest.find(' ') + 1);
            const std::string bytesA = bytesOf(folder / a), bytesB = bytesOf(folder / b);
            ASSERT_FALSE(bytesA.empty() || bytesB.empty());
            EXPECT_EQ(bytesA == bytesB, word == "same");
        } else if (word == "sh") {
            EXPECT_EQ(std::system((shell + command.substr(3)).c_str()), 0);
        } else {
            const testing_cli::Outcome o = testing_cli::runCli(command, shell);
            EXPECT_EQ(o.status, step.status) << o.output;
            EXPECT_NE(o.output.find(step.says), std::string::npos) << o.output;
            // A refusal is one line.
            if (o.status != 0) {
                EXPECT_EQ(o.output.find('\n'), o.output.size() - 1) << o.output;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DialogCommands, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return "case" + std::to_string(info.index);
                         });

}  // namespace
}  // namespace globaro
