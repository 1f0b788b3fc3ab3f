// The globaro program as a user runs it: exit codes, messages and files.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

#include "app/image_io.h"

namespace globaro {
namespace {

struct Outcome {
    int status = -1;
    std::string output;  // standard output and error together
};

Outcome runCli(const std::string& arguments) {
    const std::string command = std::string(GLOBARO_CLI_PATH) + " " + arguments + " 2>&1";
    Outcome o;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return o;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) o.output.append(buffer.data(), n);
    const int raw = pclose(pipe);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}

std::string temp(const std::string& name) { return ::testing::TempDir() + "globaro_cli_" + name; }

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

    const Outcome render = runCli("render --quiet " + in + " " + out);
    EXPECT_EQ(render.status, 0) << render.output;
    Document back;
    ASSERT_TRUE(loadDocument(out, back, error)) << error;
    EXPECT_EQ(back.depth, 16);
    EXPECT_TRUE(back.hasAlpha);

    const Outcome eight = runCli("render --quiet --depth 8 " + in + " " + temp("out8.png"));
    EXPECT_EQ(eight.status, 0) << eight.output;
    ASSERT_TRUE(loadDocument(temp("out8.png"), back, error)) << error;
    EXPECT_EQ(back.depth, 8);
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

TEST(Cli, DemoRunsOnTheBuiltInPanorama) {
    const std::string out = temp("demo.png");
    const Outcome o = runCli("demo " + out + " --size 256x128");
    EXPECT_EQ(o.status, 0) << o.output;
    Document back;
    std::string error;
    ASSERT_TRUE(loadDocument(out, back, error)) << error;
    EXPECT_EQ(back.width, 256);
    EXPECT_EQ(back.height, 128);
    // The scene has sky at the top and ground at the bottom.
    EXPECT_GT(back.value(128, 2, 2), back.value(128, 2, 0));
    EXPECT_LT(back.value(128, 125, 2), back.value(128, 125, 1));
}

TEST(Cli, MissingModuleIsReported) {
    const Outcome o = runCli("--module /nonexistent/Globaro2.so demo " + temp("d.png"));
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
