// The globaro program as a user runs it: exit codes, messages and files.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "app/cli_runner.h"
#include "app/image_io.h"

namespace globaro {
namespace {

using testing_cli::Outcome;
using testing_cli::runCli;

std::string temp(const std::string& name) { return ::testing::TempDir() + "globaro_cli_" + name; }

// Makes the demo (panorama and outputs) in a folder of its own and returns
// the panorama's path.
std::string demoPanorama(const std::string& name, const std::string& size) {
    const std::string folder = temp(name);
    const Outcome o = runCli("demo " + folder + " --size " + size);
    EXPECT_EQ(o.status, 0) << o.output;
    return folder + "/demo-panorama.png";
}

TEST(Cli, HelpAndVersion) {
    const Outcome help = runCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("render"), std::string::npos);
    EXPECT_NE(help.output.find("demo"), std::string::npos);
    const Outcome version = runCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.output.find("globaro 2."), std::string::npos);
}

TEST(Cli, UsageErrorsExitWithTwo) {
    EXPECT_EQ(runCli("").status, 2);
    EXPECT_EQ(runCli("frobnicate").status, 2);
    EXPECT_EQ(runCli("render --no-such-option a.png b.png").status, 2);
    EXPECT_EQ(runCli("render only-one.png").status, 2);
    EXPECT_EQ(runCli("render a.png b.png --depth 12").status, 2);
    EXPECT_EQ(runCli("demo " + temp("x.png") + " --size 12by4").status, 2);
}

TEST(Cli, UnreadableFilesGiveOneClearLine) {
    const Outcome missing = runCli("render /nonexistent/in.png " + temp("never.png"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "globaro: cannot read \"/nonexistent/in.png\": no such file\n");
    EXPECT_FALSE(std::filesystem::exists(temp("never.png")));

    const std::string junk = temp("junk.tif");
    std::ofstream(junk) << "not an image at all";
    const Outcome unsupported = runCli("render " + junk + " " + temp("never.png"));
    EXPECT_EQ(unsupported.status, 1);
    EXPECT_EQ(std::count(unsupported.output.begin(), unsupported.output.end(), '\n'), 1) << unsupported.output;
    EXPECT_FALSE(std::filesystem::exists(temp("never.png")));
}

TEST(Cli, AFileDamagedPartWayFailsWhileTheFilterReadsIt) {
    // The rows are read while the filter starts on the top ones: a file that
    // breaks off part way still fails in one line, writes nothing, and
    // neither the filter nor the reading is left waiting.
    const std::string panorama = demoPanorama("damaged", "512x256");
    std::ifstream in(panorama, std::ios::binary | std::ios::ate);
    std::vector<char> bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const std::string damaged = temp("damaged.png");
    std::ofstream(damaged, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size() * 3 / 5));
    for (const char* size : {"", " --size 96x48"}) {
        const std::string out = temp("from-damaged.png");
        const Outcome o = runCli("render --quiet " + damaged + " " + out + size);
        EXPECT_EQ(o.status, 1) << size << ": " << o.output;
        // Our one line, after any line libpng prints itself.
        const std::size_t ours = o.output.find("globaro: cannot read \"" + damaged + "\": ");
        ASSERT_NE(ours, std::string::npos) << o.output;
        EXPECT_EQ(o.output.find('\n', ours), o.output.size() - 1) << o.output;
        EXPECT_FALSE(std::filesystem::exists(out)) << size;
        for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir()))
            EXPECT_EQ(entry.path().filename().string().find("from-damaged"), std::string::npos) << entry.path();
    }
    // The whole file renders.
    const Outcome whole = runCli("render --quiet " + panorama + " " + temp("from-whole.png") + " --size 96x48");
    EXPECT_EQ(whole.status, 0) << whole.output;
}

TEST(Cli, RenderAndInfo) {
    Document doc;
    std::string error;
    ASSERT_TRUE(makeDocument(doc, 64, 32, 1, true, 16, error));
    for (std::int32_t y = 0; y < 32; ++y)
        for (std::int32_t x = 0; x < 64; ++x) {
            doc.setValue(x, y, 0, float(x) / 63.0f);
            doc.setValue(x, y, 1, float(y) / 31.0f);
        }
    const std::string in = temp("in16.png"), out = temp("out16.tif");
    ASSERT_TRUE(saveDocument(in, doc, 0, error)) << error;
    const Outcome info = runCli("info " + in);
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_NE(info.output.find("64 x 32 greyscale 16-bit, with transparency"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("accepts this image"), std::string::npos);

    // The render covers every pixel: the file goes without the opaque
    // transparency plane unless asked to keep it.
    const Outcome render = runCli("render " + in + " " + out);
    EXPECT_EQ(render.status, 0) << render.output;
    EXPECT_NE(render.output.find("opaque, transparency left out"), std::string::npos) << render.output;
    Document back;
    ASSERT_TRUE(loadDocument(out, back, error)) << error;
    EXPECT_EQ(back.depth, 16);
    EXPECT_FALSE(back.hasAlpha);
    const Outcome kept = runCli("render --quiet --keep-alpha " + in + " " + out);
    EXPECT_EQ(kept.status, 0) << kept.output;
    ASSERT_TRUE(loadDocument(out, back, error)) << error;
    EXPECT_TRUE(back.hasAlpha);
    EXPECT_EQ(back.value(10, 20, 1), 1.0f);
    // A map that leaves pixels transparent keeps its plane.
    const Outcome map = runCli("render --quiet --output Mollweide --size 64x32 " + in + " " + out);
    EXPECT_EQ(map.status, 0) << map.output;
    ASSERT_TRUE(loadDocument(out, back, error)) << error;
    EXPECT_TRUE(back.hasAlpha);
    EXPECT_EQ(back.value(0, 0, 1), 0.0f);

    // --timings says where the time went, phase by phase, even when quiet.
    const Outcome eight = runCli("render --quiet --timings --depth 8 " + in + " " + temp("out8.png"));
    EXPECT_EQ(eight.status, 0) << eight.output;
    ASSERT_TRUE(loadDocument(temp("out8.png"), back, error)) << error;
    EXPECT_EQ(back.depth, 8);
    for (const char* phase : {"timings: read ", " s, filter ", "prepare ", "start ", "continue ", "finish ",
                              "host tiles ", "), write "})
        EXPECT_NE(eight.output.find(phase), std::string::npos) << phase << " in " << eight.output;
}

TEST(Cli, FloatImagesKeepTheirLightAndNoNaNLeaks) {
    // Light up to 4 (red 4 everywhere, green rising to 4 to the right), and
    // a patch of pixels that are not numbers on the left, under the rim of
    // the Mollweide ellipse, where a render in place mixes the rendered
    // colour with the pixel underneath.
    Document doc;
    std::string error;
    ASSERT_TRUE(makeDocument(doc, 64, 32, 3, false, 32, error)) << error;
    for (std::int32_t y = 0; y < 32; ++y)
        for (std::int32_t x = 0; x < 64; ++x) {
            const bool hole = x >= 2 && x < 14 && y >= 3 && y < 10;
            const float nan = std::numeric_limits<float>::quiet_NaN();
            doc.setValue(x, y, 0, hole ? nan : 4.0f);
            doc.setValue(x, y, 1, hole ? nan : 0.25f + 3.75f * static_cast<float>(x) / 63.0f);
            doc.setValue(x, y, 2, hole ? nan : 0.5f);
        }
    const std::string in = temp("light.exr");
    ASSERT_TRUE(saveDocument(in, doc, 0, error)) << error;
    struct Case {
        const char* options;
        const char* output;
        double tolerance;  // of the file's samples
    };
    const Case cases[] = {
        {"", "light-same.exr", 1e-4},
        {"--size 128x64", "light-canvas.exr", 1e-4},
        {"--output Mollweide", "light-map.exr", 1e-4},
        {"--depth 16", "light-half.exr", 2e-3},
        {"--size 128x64", "light-canvas.hdr", 0.03},
    };
    for (const Case& c : cases) {
        const std::string out = temp(c.output);
        const Outcome o = runCli(std::string("render --quiet ") + c.options + " " + in + " " + out);
        ASSERT_EQ(o.status, 0) << o.output;
        Document back;
        ASSERT_TRUE(loadDocument(out, back, error)) << error;
        bool finite = true;
        float mostGreen = 0.0f;
        for (std::int32_t y = 0; y < back.height; ++y)
            for (std::int32_t x = 0; x < back.width; ++x) {
                for (int p = 0; p < 3; ++p) finite = finite && std::isfinite(back.value(x, y, p));
                mostGreen = std::max(mostGreen, back.value(x, y, 1));
            }
        EXPECT_TRUE(finite) << c.output;
        // Far from the hole the light is as it was.
        const std::int32_t cx = back.width / 2, cy = back.height / 2;
        EXPECT_NEAR(back.value(cx, cy, 0), 4.0, 4.0 * c.tolerance) << c.output;
        EXPECT_NEAR(back.value(cx, cy, 2), 0.5, 0.5 * c.tolerance + 1e-4) << c.output;
        EXPECT_GT(mostGreen, 3.8f) << c.output;
    }
}

TEST(Cli, MasksMustMatchTheImage) {
    Document doc, mask;
    std::string error;
    ASSERT_TRUE(makeDocument(doc, 16, 8, 3, false, 8, error));
    ASSERT_TRUE(makeDocument(mask, 8, 8, 1, false, 8, error));
    ASSERT_TRUE(saveDocument(temp("m_in.png"), doc, 0, error));
    ASSERT_TRUE(saveDocument(temp("m_mask.png"), mask, 0, error));
    const Outcome o = runCli("render " + temp("m_in.png") + " " + temp("m_out.png") + " --mask " + temp("m_mask.png"));
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find("mask"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(temp("m_out.png")));
}

TEST(Cli, DemoRendersTheBuiltInPanorama) {
    const std::string folder = temp("demo");
    const Outcome o = runCli("demo " + folder + " --size 256x128");
    EXPECT_EQ(o.status, 0) << o.output;
    Document back;
    std::string error;
    ASSERT_TRUE(loadDocument(folder + "/demo-panorama.png", back, error)) << error;
    EXPECT_EQ(back.width, 256);
    EXPECT_EQ(back.height, 128);
    // The scene has sky at the top and ground at the bottom.
    EXPECT_GT(back.value(128, 2, 2), back.value(128, 2, 0));
    EXPECT_LT(back.value(128, 125, 2), back.value(128, 125, 1));

    // The outputs, each on a canvas of its own shape.
    // Those that cover their whole canvas go without a transparency plane.
    struct Expected {
        const char* file;
        std::int32_t width, height;
        bool alpha;
    };
    for (const Expected& e : {Expected{"little-planet.png", 128, 128, false}, Expected{"cube-map.png", 384, 64, false},
                              Expected{"mollweide.png", 256, 128, true}, Expected{"icosahedron.png", 256, 128, true}}) {
        ASSERT_TRUE(loadDocument(folder + "/" + e.file, back, error)) << error;
        EXPECT_EQ(back.width, e.width) << e.file;
        EXPECT_EQ(back.height, e.height) << e.file;
        EXPECT_EQ(back.hasAlpha, e.alpha) << e.file;
    }
    // Mollweide: the centre shows the scene, the corners lie outside the ellipse.
    ASSERT_TRUE(loadDocument(folder + "/mollweide.png", back, error)) << error;
    EXPECT_GT(back.value(128, 64, 3), 0.99f);
    EXPECT_LT(back.value(1, 1, 3), 0.01f);
    // The little planet is ground in the middle, sky in the corners.
    ASSERT_TRUE(loadDocument(folder + "/little-planet.png", back, error)) << error;
    EXPECT_GT(back.value(2, 2, 2), back.value(2, 2, 0));
}

TEST(Cli, MissingModuleIsReported) {
    const Outcome o = runCli("--module /nonexistent/Globaro2.so demo " + temp("d"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("/nonexistent/Globaro2.so"), std::string::npos);
}

}  // namespace
}  // namespace globaro

namespace globaro {
namespace {

TEST(CliCatalogue, ListsDescribesAndProbes) {
    const Outcome outputs = runCli("list outputs");
    EXPECT_EQ(outputs.status, 0);
    EXPECT_EQ(std::count(outputs.output.begin(), outputs.output.end(), '\n'), 423);
    EXPECT_EQ(outputs.output.rfind("1\tequirectangular\n", 0), 0u);
    const Outcome inputs = runCli("list inputs");
    EXPECT_EQ(std::count(inputs.output.begin(), inputs.output.end(), '\n'), 38);
    const Outcome glue = runCli("list glue");
    EXPECT_EQ(std::count(glue.output.begin(), glue.output.end(), '\n'), 69);
    EXPECT_EQ(runCli("list colours").status, 2);

    const Outcome described = runCli("describe output \"equi tall\"");
    EXPECT_EQ(described.status, 0) << described.output;
    EXPECT_NE(described.output.find("\"id\": 81,"), std::string::npos) << described.output;
    EXPECT_NE(described.output.find("\"drawn\": true,"), std::string::npos) << described.output;
    EXPECT_NE(runCli("describe output 20").output.find("\"drawn\": false,"), std::string::npos);
    const Outcome unknown = runCli("describe output 99999");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(std::count(unknown.output.begin(), unknown.output.end(), '\n'), 1);

    const Outcome probe = runCli("probe --input 1 --output 81 0.5 0.5");
    EXPECT_EQ(probe.status, 0) << probe.output;
    EXPECT_NE(probe.output.find("\"u\":0.5"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("\"v\":0.5"), std::string::npos) << probe.output;
    EXPECT_EQ(runCli("probe --input equirectangular --output \"equi tall\" 0.25 0.75").status, 0);
    EXPECT_EQ(runCli("probe --input nosuch 0.5 0.5").status, 2);
    EXPECT_EQ(runCli("probe 0.5").status, 2);
}

}  // namespace
}  // namespace globaro

#include <nlohmann/json.hpp>

#include "settings/settings_file.h"

namespace globaro {
namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::map<std::string, nlohmann::json> recordedValues(const std::string& path) {
    std::map<std::string, nlohmann::json> values;
    const nlohmann::json action = nlohmann::json::parse(readText(path));
    for (const auto& item : action.at("descriptor"))
        values[item.at("key").get<std::string>()] = item.at("value");
    return values;
}

TEST(CliSettings, OptionsReachTheFilterAndActionsReplay) {
    const std::string in = demoPanorama("s_demo", "64x32");
    const std::string first = temp("s_first.json"), second = temp("s_second.json");
    const Outcome o = runCli("render --quiet " + in + " " + temp("s_out.png") +
                             " --lat 30 --lon -45.5 --output Mollweide --glue multiply --grid 15"
                             " --backdrop-color '#ff8000' --opaque-gaps --record " + first);
    ASSERT_EQ(o.status, 0) << o.output;
    auto values = recordedValues(first);
    ASSERT_FALSE(values.empty()) << readText(first);
    EXPECT_EQ(values["Vers"], 48);
    EXPECT_EQ(values["0034"], 30.0);
    EXPECT_EQ(values["0035"], -45.5);
    EXPECT_EQ(values["0008"], 30);   // the whole-number mirror follows
    EXPECT_EQ(values["0012"], -45);  // truncated toward zero
    EXPECT_EQ(values["Kgky"], "Kgr5");
    EXPECT_EQ(values["0004"], 255);
    EXPECT_EQ(values["0005"], 128);
    EXPECT_EQ(values["0006"], 0);
    EXPECT_EQ(values["0028"], false);

    // Replaying the action records exactly the same settings.
    const Outcome replay = runCli("render --quiet " + in + " " + temp("s_out2.png") + " --action " + first +
                                  " --record " + second);
    ASSERT_EQ(replay.status, 0) << replay.output;
    EXPECT_EQ(readText(first), readText(second));

    EXPECT_EQ(runCli("render " + in + " " + temp("x.png") + " --action " + first + " --lat 3").status, 2);
    EXPECT_EQ(runCli("render " + in + " " + temp("x.png") + " --glue nosuchmode").status, 2);
    EXPECT_EQ(runCli("render " + in + " " + temp("x.png") + " --grid 7").status, 2);
    EXPECT_EQ(runCli("render " + in + " " + temp("x.png") + " --line-color 12345").status, 2);
}

TEST(CliSettings, HostileActionFilesAndPresets) {
    const std::string in = demoPanorama("h_demo", "32x16");
    const std::string bad = temp("bad.json");
    for (const char* text : {"", "{", "[1,2,3]", "{\"format\":\"Globaro 2 action\",\"version\":1,\"descriptor\":7}",
                             "{\"format\":\"Globaro 2 action\",\"version\":1,\"playInfo\":\"dontDisplay\","
                             "\"descriptor\":[{\"key\":\"toolong\",\"type\":\"integer\",\"value\":1}]}"}) {
        std::ofstream(bad) << text;
        const Outcome o = runCli("render " + in + " " + temp("never2.png") + " --action " + bad);
        EXPECT_NE(o.status, 0) << text;
        EXPECT_EQ(std::count(o.output.begin(), o.output.end(), '\n'), 1) << o.output;
        EXPECT_FALSE(std::filesystem::exists(temp("never2.png")));
    }

    // A preset written by the settings file writer starts the run.
    SettingsRecord preset{};
    resetRunState(preset);
    resetToDefaults(preset);
    preset.outputProjection = 3;
    preset.latitude = 12.5f;
    ASSERT_EQ(writeSettingsFile(temp("p.q2q"), preset, nullptr), 0);
    const std::string recorded = temp("p.json");
    ASSERT_EQ(runCli("render --quiet " + in + " " + temp("p_out.png") + " --preset " + temp("p.q2q") +
                     " --spin 5 --record " + recorded)
                  .status,
              0);
    auto values = recordedValues(recorded);
    EXPECT_EQ(values["0034"], 12.5);
    EXPECT_EQ(values["0036"], 5.0);
    EXPECT_EQ(values["Koky"], "Ko03");
}

// Bad values and files on the command line: each is refused with one line
// that names the option or the file, and nothing is written. Values the
// user gets wrong are usage errors (2); files that cannot be used fail the
// run (1), as a damaged image does.
TEST(CliSettings, BadOptionsAndFilesAreRefusedInOneLine) {
    const std::string in = demoPanorama("b_demo", "32x16");
    const std::string out = temp("b_never.png");
    const std::string junk = temp("b_junk.q2q");
    std::ofstream(junk) << "junk";
    const std::string render = "render --quiet " + in + " " + out + " ";
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {render + "--lat nan", 2, "globaro: --lat: \"nan\" is not a number in -90..90"},
        {render + "--lon inf", 2, "globaro: --lon: \"inf\" is not a number in -180..180"},
        {render + "--fov -nan", 2, "globaro: --fov: \"-nan\""},
        {render + "--spin 1e400", 2, "globaro: --spin: \"1e400\""},
        {render + "--sharpen NaN", 2, "globaro: --sharpen: \"NaN\""},
        {render + "--tabs 101", 2, "globaro: --tabs: 101 is outside 0..100"},
        {render + "--size 99999999999x10", 2, "globaro: --size wants WIDTHxHEIGHT with sides of 1..300000 pixels"},
        {render + "--size 4294967297x10", 2, "\"4294967297x10\""},
        {render + "--size 300001x1", 2, "globaro: --size wants"},
        {render + "--size 64x", 2, "globaro: --size wants"},
        {"demo " + temp("b_demo_out") + " --size 4294967297x1", 2, "globaro: --size wants"},
        {"probe --lat nan 0.5 0.5", 2, "globaro: --lat: \"nan\""},
        {"probe --size 99999999999x10 0.5 0.5", 2, "globaro: --size wants"},
        {"probe --input-size 0x10 0.5 0.5", 2, "globaro: --input-size wants"},
        {render + "--preset /nonexistent/p.q2q", 1, "globaro: cannot read preset \"/nonexistent/p.q2q\": no such file"},
        {render + "--preset " + junk, 1, "globaro: cannot read preset \"" + junk + "\": not a settings file"},
        {render + "--preset " + ::testing::TempDir(), 1, "\": not a plain file"},
        {render + "--action /nonexistent/a.json", 1,
         "globaro: cannot read action file \"/nonexistent/a.json\": no such file"},
        {render + "--action " + junk, 1, "globaro: cannot read action file \"" + junk + "\": not a valid JSON"},
        {render + "--action " + junk + " --lat 3", 2, "globaro: --action: replays recorded settings"},
    };
    for (const Case& c : cases) {
        const Outcome o = runCli(c.arguments);
        EXPECT_EQ(o.status, c.status) << c.arguments << "\n" << o.output;
        EXPECT_NE(o.output.find(c.message), std::string::npos) << c.arguments << "\n" << o.output;
        EXPECT_EQ(std::count(o.output.begin(), o.output.end(), '\n'), 1) << c.arguments << "\n" << o.output;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.arguments;
    }
    EXPECT_FALSE(std::filesystem::exists(temp("b_demo_out")));
}

// An output that the recorded key lists never named ("logarithmic", id
// 100335) reaches the filter and is drawn.
TEST(CliSettings, AnOutputWithoutAListedKeyIsDrawn) {
    const std::string in = demoPanorama("l_demo", "64x32");
    const std::string out = temp("l_out.png");
    const Outcome o = runCli("render --quiet " + in + " " + out + " --size 32x32 --output 100335");
    ASSERT_EQ(o.status, 0) << o.output;
    Document back;
    std::string error;
    ASSERT_TRUE(loadDocument(out, back, error)) << error;
    int covered = 0;
    for (std::int32_t y = 0; y < back.height; ++y)
        for (std::int32_t x = 0; x < back.width; ++x) covered += !back.hasAlpha || back.value(x, y, 3) > 0.5f;
    EXPECT_GT(covered, back.width * back.height / 2);
}

}  // namespace
}  // namespace globaro

#include "app/descriptor_store.h"
#include "host/scripting_parameters.h"

namespace globaro {
namespace {

// An output that has no mapping yet is refused before anything is read or
// written, however the run names it; an option naming another output over
// such a preset renders as usual.
TEST(CliSettings, OutputsWithoutAMappingAreRefused) {
    const std::string in = demoPanorama("u_demo", "32x16");
    SettingsRecord settings{};
    resetRunState(settings);
    resetToDefaults(settings);
    settings.outputProjection = 20;
    const std::string preset = temp("u20.q2q");
    ASSERT_EQ(writeSettingsFile(preset, settings, nullptr), 0);
    DescriptorStore store;
    FilterRecord record{};
    record.descriptorParameters = &store.parameters();
    ASSERT_TRUE(writeDescriptor(&record, settings));
    RecordedAction action;
    ASSERT_TRUE(recordedAction(store, plugInDialogDontDisplay, action));
    const std::string actionFile = temp("u20.json");
    std::string error;
    ASSERT_TRUE(saveActionFile(actionFile, action, error)) << error;

    const std::string out = temp("u_out");
    struct Case {
        std::string arguments;
        bool refused;
    };
    const Case cases[] = {
        {"--output 20 " + in + " " + out + "1.png", true},
        {"--output lozenge " + in + " " + in + " --out '" + out + "{index}.png'", true},
        {"--preset " + preset + " " + in + " " + out + "3.png", true},
        {"--action " + actionFile + " " + in + " " + out + "4.png", true},
        {"--quiet --preset " + preset + " --output 2 " + in + " " + out + "5.png", false},
    };
    for (const Case& c : cases) {
        const Outcome o = runCli("render " + c.arguments);
        if (c.refused) {
            EXPECT_EQ(o.status, 2) << c.arguments;
            EXPECT_EQ(o.output, "globaro: output 20 \"lozenge\" has no mapping yet; see globaro list outputs\n")
                << c.arguments;
        } else {
            EXPECT_EQ(o.status, 0) << c.arguments << o.output;
        }
    }
    // Only the last case wrote an image.
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir())) {
        const std::string name = entry.path().string();
        if (name.rfind(out, 0) == 0) written.push_back(name);
    }
    EXPECT_EQ(written, std::vector<std::string>{out + "5.png"});
}

}  // namespace
}  // namespace globaro
