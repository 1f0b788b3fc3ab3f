// Runs every case of tests/data/cli_cases.txt (its first lines describe it)
// through the real program. Every case also keeps the prepared files' bytes,
// and a failed run prints one line (unless the case says otherwise) and
// leaves nothing. GLOBARO_UPDATE_REFERENCES=1 rewrites tests/data/references/.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli_runner.h"
#include "app/descriptor_store.h"
#include "app/image_io.h"
#include "host/scripting_parameters.h"
#include "projection/catalogue.h"
#include "projection/output_mapping.h"
#include "settings/settings_file.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;
using testing_cli::Outcome;
using testing_cli::runCli;

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Every file under `folder` with its bytes.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        files[e.path().string()] = e.is_regular_file() ? bytesOf(e.path()) : "<folder>";
    return files;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

Document gradient(std::int32_t w, std::int32_t h, int planes, bool alpha, int depth, float blue) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, w, h, planes, alpha, depth, error)) << error;
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            d.setValue(x, y, 0, float(x) / float(w - 1));
            if (planes > 1 || alpha) d.setValue(x, y, 1, float(y) / float(h - 1));
            if (planes == 3) d.setValue(x, y, 2, blue);
            if (planes == 3 && alpha) d.setValue(x, y, 3, 1.0f);
        }
    return d;
}

void save(const fs::path& path, const Document& doc) {
    std::string error;
    ASSERT_TRUE(saveDocument(path.string(), doc, 0, error)) << error;
}

// The files the cases read, made once.
void makeFixtures(const fs::path& fix) {
    for (const char* size : {"64x32", "256x128", "512x256"}) {
        const Outcome o = runCli("demo " + (fix / (std::string("demo") + size)).string() + " --size " + size);
        ASSERT_EQ(o.status, 0) << o.output;
    }
    // A PNG broken off part way.
    const std::string whole = bytesOf(fix / "demo512x256/demo-panorama.png");
    put(fix / "damaged.png", whole.substr(0, whole.size() * 3 / 5));
    save(fix / "grad16.png", gradient(64, 32, 1, true, 16, 0));
    for (int i = 0; i < 3; ++i) {
        fs::create_directories(fix / "in");
        save(fix / "in" / ("pano" + std::to_string(i) + ".png"), gradient(64, 32, 3, false, 8, float(i) / 2.0f));
    }
    save(fix / "mask8.png", gradient(8, 8, 1, false, 8, 0));
    // Light up to 4, and a patch of pixels that are not numbers under the
    // rim of the Mollweide ellipse.
    Document light = gradient(64, 32, 3, false, 32, 0.5f);
    for (std::int32_t y = 0; y < 32; ++y)
        for (std::int32_t x = 0; x < 64; ++x) {
            const bool hole = x >= 2 && x < 14 && y >= 3 && y < 10;
            const float nan = std::numeric_limits<float>::quiet_NaN();
            light.setValue(x, y, 0, hole ? nan : 4.0f);
            light.setValue(x, y, 1, hole ? nan : 0.25f + 3.75f * float(x) / 63.0f);
            if (hole) light.setValue(x, y, 2, nan);
        }
    save(fix / "light.exr", light);
    put(fix / "junk.tif", "not an image at all");
    put(fix / "junk.q2q", "junk");
    for (const char* ext : {"png", "jpg", "tif", "exr", "hdr"}) put(fix / (std::string("old.") + ext), "old bytes");
    const char* badActions[] = {"", "{", "[1,2,3]", "{\"format\":\"Globaro 2 action\",\"version\":1,\"descriptor\":7}",
                                "{\"format\":\"Globaro 2 action\",\"version\":1,\"playInfo\":\"dontDisplay\","
                                "\"descriptor\":[{\"key\":\"toolong\",\"type\":\"integer\",\"value\":1}]}"};
    for (int i = 0; i < 5; ++i) put(fix / ("bad" + std::to_string(i) + ".json"), badActions[i]);

    // Presets and an action from the module's own writers.
    SettingsRecord settings{};
    resetRunState(settings);
    resetToDefaults(settings);
    settings.outputProjection = 3;
    settings.latitude = 12.5f;
    ASSERT_EQ(writeSettingsFile((fix / "p.q2q").string(), settings, nullptr), 0);
    DescriptorStore store;
    FilterRecord record{};
    record.descriptorParameters = &store.parameters();
    ASSERT_TRUE(writeDescriptor(&record, settings));
    RecordedAction action;
    ASSERT_TRUE(recordedAction(store, plugInDialogDontDisplay, action));
    std::string error;
    ASSERT_TRUE(saveActionFile((fix / "p.json").string(), action, error)) << error;
}

// Caps on the mean difference and on the share of pixels off by more than 8/255
// (resampling may round differently between builds at a few edges).
bool closeTo(const Document& a, const Document& b, std::string& why) {
    if (a.width != b.width || a.height != b.height || a.planes() != b.planes() || a.hasAlpha != b.hasAlpha) {
        why = "the layouts differ";
        return false;
    }
    double sum = 0.0, worst = 0.0;
    std::size_t over = 0;
    for (std::int32_t y = 0; y < a.height; ++y)
        for (std::int32_t x = 0; x < a.width; ++x) {
            bool pixelOver = false;
            for (int p = 0; p < a.planes(); ++p) {
                const double d = std::fabs(double(a.value(x, y, p)) - double(b.value(x, y, p)));
                sum += d;
                worst = std::max(worst, d);
                pixelOver = pixelOver || d > 8.0 / 255.0;
            }
            over += pixelOver ? 1 : 0;
        }
    const double pixels = double(a.width) * a.height;
    why = "mean difference " + std::to_string(sum / (pixels * a.planes())) + ", " + std::to_string(over) +
          " pixels over, largest " + std::to_string(worst);
    return sum / (pixels * a.planes()) <= 1.0 / 255.0 && double(over) / pixels <= 0.005;
}

struct Case {
    std::string section;
    int line = 0;
    std::string arguments;
    std::vector<std::string> checks;
};

std::vector<Case> loadCases(const std::string& path) {
    std::vector<Case> cases;
    std::ifstream in(path);
    std::string line, section = "start";
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.rfind("# ---- ", 0) == 0) section = line.substr(7, line.find(':', 7) - 7);
        if (line.rfind("$ ", 0) == 0)
            cases.push_back(Case{section, number, line.substr(2), {}});
        else if (line.rfind("  ", 0) == 0 && !cases.empty())
            cases.back().checks.push_back(line.substr(2));
    }
    return cases;
}

std::string fill(std::string text, const std::map<std::string, std::string>& places) {
    for (const auto& [key, value] : places)
        for (std::size_t at = 0; (at = text.find(key, at)) != std::string::npos; at += value.size())
            text.replace(at, key.size(), value);
    return text;
}

// The value at a JSON pointer of the output: one document, or one per line.
nlohmann::json jsonAt(const std::string& output, const std::string& pointer) {
    nlohmann::json all = nlohmann::json::parse(output, nullptr, false);
    if (all.is_discarded() || std::count(output.begin(), output.end(), '\n') <= 1) {
        all = nlohmann::json::array();
        std::istringstream lines(output);
        for (std::string l; std::getline(lines, l);) all.push_back(nlohmann::json::parse(l, nullptr, false));
    }
    const nlohmann::json::json_pointer at(pointer);
    return all.contains(at) ? all.at(at) : nlohmann::json();
}

// Checks one "word arguments" line of a case against its run.
void check(const std::string& word, std::istringstream& rest, const std::string& text, const Outcome& o,
           Document& image, std::string& imagePath, const fs::path& tmp) {
    std::string error;
    auto loaded = [&]() -> Document& {
        if (image.width == 0) {
            EXPECT_TRUE(loadDocument(imagePath, image, error)) << error;
        }
        return image;
    };
    if (word == "has") {
        EXPECT_NE(o.output.find(text), std::string::npos) << "wants " << text;
    } else if (word == "is") {
        EXPECT_EQ(o.output, text + "\n");
    } else if (word == "re") {
        EXPECT_TRUE(std::regex_search(o.output, std::regex(text))) << "wants /" << text << "/";
    } else if (word == "json") {
        std::string pointer, op;
        rest >> pointer >> op;
        std::string literal;
        std::getline(rest >> std::ws, literal);
        const nlohmann::json got = jsonAt(o.output, pointer), want = nlohmann::json::parse(literal);
        if (op == "=")
            EXPECT_EQ(got, want) << pointer;
        else if (op == "~")
            EXPECT_NEAR(got.get<double>(), want.get<double>(), 1e-5) << pointer;
        else if (op == ">")
            EXPECT_GT(got.get<double>(), want.get<double>()) << pointer;
        else
            ADD_FAILURE() << "unknown comparison " << op;
    } else if (word == "rec") {  // KEY VALUE in the action recorded to {tmp}/rec.json
        std::string key, literal;
        rest >> key >> literal;
        std::map<std::string, nlohmann::json> values;
        const nlohmann::json action = nlohmann::json::parse(bytesOf(tmp / "rec.json"), nullptr, false);
        if (action.is_object() && action.contains("descriptor"))
            for (const auto& item : action["descriptor"])
                values[item.value("key", "")] = item.contains("value") ? item["value"] : nlohmann::json();
        EXPECT_EQ(values[key], nlohmann::json::parse(literal)) << key;
    } else if (word == "image") {
        imagePath = text;
        image = Document{};
    } else if (word == "size") {
        EXPECT_EQ(std::to_string(loaded().width) + "x" + std::to_string(loaded().height), text);
    } else if (word == "alpha") {
        EXPECT_EQ(loaded().hasAlpha, text == "1");
    } else if (word == "depth") {
        EXPECT_EQ(loaded().depth, std::stoi(text));
    } else if (word == "pixel") {  // X Y PLANE VALUE TOLERANCE
        std::int32_t x, y;
        int p;
        double value, tolerance;
        rest >> x >> y >> p >> value >> tolerance;
        EXPECT_NEAR(loaded().value(x, y, p), value, tolerance) << x << ", " << y << " plane " << p;
    } else if (word == "brighter") {  // X Y PLANE, X2 Y2 PLANE2: the first sample is the larger
        std::int32_t x, y, x2, y2;
        int p, p2;
        rest >> x >> y >> p >> x2 >> y2 >> p2;
        EXPECT_GT(loaded().value(x, y, p), loaded().value(x2, y2, p2));
    } else if (word == "finite-above") {  // PLANE VALUE: every sample a number, the plane reaches VALUE
        int plane;
        float least;
        rest >> plane >> least;
        const Document& d = loaded();
        bool finite = true;
        float most = 0.0f;
        for (std::int32_t y = 0; y < d.height; ++y)
            for (std::int32_t x = 0; x < d.width; ++x) {
                for (int p = 0; p < d.planes(); ++p) finite = finite && std::isfinite(d.value(x, y, p));
                most = std::max(most, d.value(x, y, plane));
            }
        EXPECT_TRUE(finite);
        EXPECT_GT(most, least);
    } else if (word == "covered") {  // more than half the pixels opaque
        const Document& d = loaded();
        int covered = 0;
        for (std::int32_t y = 0; y < d.height; ++y)
            for (std::int32_t x = 0; x < d.width; ++x) covered += !d.hasAlpha || d.value(x, y, 3) > 0.5f;
        EXPECT_GT(covered, d.width * d.height / 2);
    } else if (word == "ref" || word == "unlike") {
        const fs::path reference = fs::path(GLOBARO_TEST_DATA) / "references" / text;
        if (const char* update = std::getenv("GLOBARO_UPDATE_REFERENCES");
            word == "ref" && update != nullptr && *update == '1') {
            fs::copy_file(imagePath, reference, fs::copy_options::overwrite_existing);
            return;
        }
        Document want;
        ASSERT_TRUE(loadDocument(reference.string(), want, error)) << error;
        std::string why;
        EXPECT_EQ(closeTo(loaded(), want, why), word == "ref") << text << ": " << why;
    } else if (word == "exists" || word == "absent") {
        EXPECT_EQ(fs::exists(text), word == "exists") << text;
    } else if (word == "same" || word == "differ") {
        std::string a, b;
        rest >> a >> b;
        EXPECT_FALSE(bytesOf(a).empty() || bytesOf(b).empty()) << a << " and " << b;
        EXPECT_EQ(bytesOf(a) == bytesOf(b), word == "same") << a << " and " << b;
    } else if (word == "psnr") {  // PATH DB: the image is within DB decibels of PATH's (an outside tool's)
        std::string path;
        double least = 0.0;
        rest >> path >> least;
        Document other;
        ASSERT_TRUE(loadDocument(path, other, error)) << error;
        const Document& d = loaded();
        ASSERT_TRUE(d.width == other.width && d.height == other.height) << path;
        double sum = 0.0;
        for (std::int32_t y = 0; y < d.height; ++y)
            for (std::int32_t x = 0; x < d.width; ++x)
                for (int p = 0; p < 3; ++p) sum += std::pow(double(d.value(x, y, p)) - other.value(x, y, p), 2.0);
        EXPECT_GE(10.0 * std::log10(3.0 * d.width * d.height / std::max(sum, 1e-12)), least) << path;
    } else if (word == "bytes") {  // PATH LO HI: the file's size
        std::string path;
        std::uintmax_t lo = 0, hi = 0;
        rest >> path >> lo >> hi;
        const std::uintmax_t size = fs::file_size(path);
        EXPECT_TRUE(size >= lo && size <= hi) << path << " has " << size << " bytes";
    } else if (word == "files") {
        EXPECT_EQ(namesIn(tmp).size(), std::stoul(text));
    } else if (word == "memlimit") {  // no allocation as large as a damaged header claims
        EXPECT_EQ(o.output.find("memory"), std::string::npos);
    } else if (word != "status" && word != "lines" && word != "shell" && word != "before" && word != "needs") {
        ADD_FAILURE() << "unknown check " << word;
    }
}

const fs::path& preparedFolder() {
    static const fs::path fix = [] {
        const fs::path folder = fs::path(::testing::TempDir()) / "globaro_cli_table" / "fix";
        fs::remove_all(folder);
        fs::create_directories(folder);
        makeFixtures(folder);
        return folder;
    }();
    return fix;
}

std::vector<std::string> sections() {
    std::vector<std::string> names;
    for (const Case& c : loadCases(std::string(GLOBARO_TEST_DATA) + "/cli_cases.txt"))
        if (names.empty() || names.back() != c.section) names.push_back(c.section);
    return names;
}

class CommandLine : public ::testing::TestWithParam<std::string> {};

TEST_P(CommandLine, Cases) {
    const fs::path& fix = preparedFolder();
    ASSERT_FALSE(HasFailure());
    const fs::path root = fix.parent_path() / GetParam();
    fs::remove_all(root);
    const auto prepared = snapshot(fix);
    std::vector<Case> cases = loadCases(std::string(GLOBARO_TEST_DATA) + "/cli_cases.txt");
    std::erase_if(cases, [](const Case& c) { return c.section != GetParam(); });
    ASSERT_FALSE(cases.empty());
    fs::path previous;
    for (std::size_t n = 0; n < cases.size(); ++n) {
        const Case& c = cases[n];
        const fs::path tmp = root / ("case" + std::to_string(n));
        fs::create_directories(tmp);
        const std::string data = GLOBARO_TEST_DATA;
        const std::map<std::string, std::string> places = {
            {"{fix}", fix.string()},
            {"{tmp}", tmp.string()},
            {"{out}", (tmp / "out.png").string()},
            {"{prev}", previous.string()},
            {"{refs}", data + "/references"},
            {"{hostile}", data + "/hostile"},
            {"{pano}", (fix / "demo64x32/demo-panorama.png").string()},
            {"{pano256}", (fix / "demo256x128/demo-panorama.png").string()},
        };
        const std::string arguments = fill(c.arguments, places);
        SCOPED_TRACE("cli_cases.txt:" + std::to_string(c.line) + ": globaro " + arguments);
        int status = 0;
        std::string lines, shell;
        std::set<std::string> allowed;  // files a failed run may leave: those a check names
        std::vector<std::pair<std::string, std::string>> checks;
        bool missingTool = false;
        for (const std::string& raw : c.checks) {
            std::istringstream words(fill(raw, places));
            std::string word, text;
            words >> word;
            std::getline(words >> std::ws, text);
            checks.emplace_back(word, text);
            if (word == "needs" && std::system(("command -v " + text + " >/dev/null 2>&1").c_str()) != 0) {
                missingTool = true;  // the case compares with a tool that is not installed here
                break;
            }
            if (word == "status") status = std::stoi(text);
            if (word == "lines") lines = text;
            if (word == "shell") shell += text + "; ";
            if (word == "before") {
                ASSERT_EQ(std::system(text.c_str()), 0) << text;
            }
            if (word == "exists") allowed.insert(fs::path(text).filename().string());
#ifndef __SANITIZE_ADDRESS__
            // Far below what hostile headers claim (AddressSanitizer reserves terabytes).
            if (word == "memlimit") shell += "ulimit -v 2097152; export MALLOC_ARENA_MAX=2; ";
#endif
        }
        if (missingTool) {
            previous = tmp;
            continue;
        }
        const std::set<std::string> before = namesIn(tmp);
        const Outcome o = runCli(arguments, shell);
        EXPECT_EQ(o.status, status) << o.output;
        if (lines.empty() && status != 0) lines = "1";
        if (!lines.empty() && lines != "any") {
            EXPECT_EQ(std::count(o.output.begin(), o.output.end(), '\n'), std::stol(lines)) << o.output;
        }
        for (const std::string& name : namesIn(tmp))
            EXPECT_TRUE(status == 0 || before.count(name) || allowed.count(name)) << "a failed run left " << name;
        Document image;
        std::string imagePath = (tmp / "out.png").string();
        for (const auto& [word, text] : checks) {
            std::istringstream rest(text);
            try {
                check(word, rest, text, o, image, imagePath, tmp);
            } catch (const std::exception& e) {
                ADD_FAILURE() << word << " " << text << ": " << e.what() << "\n" << o.output;
            }
        }
        ASSERT_TRUE(snapshot(fix) == prepared) << "the prepared files changed";
        previous = tmp;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLine, ::testing::ValuesIn(sections()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace globaro
