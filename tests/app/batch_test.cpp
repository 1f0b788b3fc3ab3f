// Batch renders: output patterns, refused plans, a bad file among good ones,
// and parallel workers giving the very files a sequential run gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

#include "app/batch_names.h"
#include "app/image_io.h"
#include "app/cli_runner.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> expand(const std::string& pattern, const std::string& input, std::size_t index = 0,
                                  std::size_t count = 1) {
    std::string error;
    auto out = expandOutputPattern(pattern, input, index, count, error);
    if (!out) {
        EXPECT_FALSE(error.empty());
    }
    return out;
}

TEST(BatchNames, Placeholders) {
    EXPECT_EQ(expand("{name}-planet.png", "pano/beach.jpg"), "beach-planet.png");
    EXPECT_EQ(expand("{dir}/{name}.{ext}.tif", "pano/beach.jpg"), "pano/beach.jpg.tif");
    EXPECT_EQ(expand("{dir}/{name}.png", "beach.jpg"), "./beach.png");
    EXPECT_EQ(expand("out/{name}{ext}.png", "frame"), "out/frame.png");
    EXPECT_EQ(expand("{name}.png", "archive.tar.gz"), "archive.tar.png");
    EXPECT_EQ(expand("plain.png", "a.jpg"), "plain.png");
    // {index} counts from 1, padded to the width of the count.
    EXPECT_EQ(expand("f{index}.png", "a.jpg", 0, 9), "f1.png");
    EXPECT_EQ(expand("f{index}.png", "a.jpg", 4, 120), "f005.png");
    EXPECT_EQ(expand("f{index}.png", "a.jpg", 119, 120), "f120.png");
}

TEST(BatchNames, BadPatterns) {
    EXPECT_FALSE(expand("{nam}.png", "a.jpg"));
    EXPECT_FALSE(expand("{name.png", "a.jpg"));
    EXPECT_FALSE(expand("", "a.jpg"));
    EXPECT_FALSE(expand("{ext}", "noextension"));
}

TEST(BatchNames, PlansRefuseCollisions) {
    std::vector<BatchItem> items;
    std::string error;
    ASSERT_TRUE(planBatch({"a/x.jpg", "b/y.jpg"}, "{name}.png", items, error)) << error;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].input, "b/y.jpg");
    EXPECT_EQ(items[1].output, "y.png");

    // Same name in two folders.
    EXPECT_FALSE(planBatch({"a/x.jpg", "b/x.jpg"}, "{name}.png", items, error));
    EXPECT_NE(error.find("a/x.jpg"), std::string::npos) << error;
    EXPECT_NE(error.find("b/x.jpg"), std::string::npos) << error;
    EXPECT_TRUE(planBatch({"a/x.jpg", "b/x.jpg"}, "{dir}/{name}.png", items, error)) << error;
    EXPECT_TRUE(planBatch({"a/x.jpg", "b/x.jpg"}, "{name}-{index}.png", items, error)) << error;
    // Two spellings of one target.
    EXPECT_FALSE(planBatch({"x.jpg", "y.jpg"}, "out/./../out/same.png", items, error));
    // An output over another input of the batch; over its own is allowed.
    EXPECT_FALSE(planBatch({"x.jpg", "x.png"}, "{name}.png", items, error));
    EXPECT_NE(error.find("overwrite"), std::string::npos) << error;
    EXPECT_TRUE(planBatch({"x.png", "y.png"}, "{name}.png", items, error)) << error;
}

using testing_cli::Outcome;
using testing_cli::runCli;

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

class BatchCli : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::path(::testing::TempDir()) / (std::string("globaro_batch_") + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "in");
        // Small equirectangular images, each a different gradient.
        for (int i = 0; i < 3; ++i) {
            Document doc;
            std::string error;
            ASSERT_TRUE(makeDocument(doc, 64, 32, 3, false, 8, error)) << error;
            for (std::int32_t y = 0; y < 32; ++y)
                for (std::int32_t x = 0; x < 64; ++x) {
                    doc.setValue(x, y, 0, float(x) / 63.0f);
                    doc.setValue(x, y, 1, float(y) / 31.0f);
                    doc.setValue(x, y, 2, float(i) / 2.0f);
                }
            inputs_[i] = (folder_ / "in" / ("pano" + std::to_string(i) + ".png")).string();
            ASSERT_TRUE(saveDocument(inputs_[i], doc, 0, error)) << error;
        }
    }
    std::string inputs() const { return inputs_[0] + " " + inputs_[1] + " " + inputs_[2]; }
    fs::path folder_;
    std::string inputs_[3];
};

TEST_F(BatchCli, PatternNamesEveryOutput) {
    const std::string out = (folder_ / "out").string();
    fs::create_directories(out);
    const Outcome o = runCli("render " + inputs() + " --out '" + out +
                             "/{name}-planet.png' --output stereographic --lat -90 --size 32x32");
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_EQ(lines(o.output), 3u) << o.output;  // one "wrote" line a file
    for (int i = 0; i < 3; ++i) {
        Document back;
        std::string error;
        ASSERT_TRUE(loadDocument(out + "/pano" + std::to_string(i) + "-planet.png", back, error)) << error;
        EXPECT_EQ(back.width, 32);
        EXPECT_EQ(back.height, 32);
    }
    // Beside the inputs, numbered.
    const Outcome beside = runCli("render --quiet " + inputs() + " --out '{dir}/{index}-{name}.{ext}.tif'");
    ASSERT_EQ(beside.status, 0) << beside.output;
    EXPECT_TRUE(beside.output.empty()) << beside.output;
    EXPECT_TRUE(fs::exists(folder_ / "in" / "1-pano0.png.tif"));
    EXPECT_TRUE(fs::exists(folder_ / "in" / "3-pano2.png.tif"));
}

TEST_F(BatchCli, RefusedPlansWriteNothing) {
    const std::string same = (folder_ / "same.png").string();
    const Outcome o = runCli("render " + inputs() + " --out " + same);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(lines(o.output), 1u) << o.output;
    EXPECT_NE(o.output.find("would both write"), std::string::npos) << o.output;
    EXPECT_FALSE(fs::exists(same));

    const Outcome unknown = runCli("render " + inputs() + " --out '{stem}.png'");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("{stem}"), std::string::npos) << unknown.output;

    // Several files need a pattern; --jobs belongs to the batch form.
    EXPECT_EQ(runCli("render " + inputs()).status, 2);
    EXPECT_EQ(runCli("render " + inputs_[0] + " " + (folder_ / "x.png").string() + " --jobs 2").status, 2);
    EXPECT_EQ(runCli("render " + inputs() + " --out '{name}.x.png' --jobs 0").status, 2);
    EXPECT_FALSE(fs::exists(folder_ / "x.png"));
}

TEST_F(BatchCli, OneBadFileAmongGoodOnes) {
    const std::string junk = (folder_ / "in" / "broken.png").string();
    std::ofstream(junk) << "not an image at all";
    const std::string out = (folder_ / "{name}-out.png").string();
    for (const char* jobs : {"1", "2"}) {
        const Outcome o = runCli("render --quiet " + inputs_[0] + " " + junk + " " + inputs_[2] + " --out '" + out +
                                 "' --jobs " + jobs);
        EXPECT_EQ(o.status, 1) << o.output;
        // One line for the broken file, naming it, and the summary.
        EXPECT_EQ(lines(o.output), 2u) << o.output;
        EXPECT_EQ(o.output.rfind("globaro: " + junk + ": ", 0), 0u) << o.output;
        EXPECT_NE(o.output.find("1 of 3 files failed"), std::string::npos) << o.output;
        EXPECT_TRUE(fs::exists(folder_ / "pano0-out.png")) << jobs;
        EXPECT_TRUE(fs::exists(folder_ / "pano2-out.png")) << jobs;
        EXPECT_FALSE(fs::exists(folder_ / "broken-out.png")) << jobs;
        fs::remove(folder_ / "pano0-out.png");
        fs::remove(folder_ / "pano2-out.png");
    }
}

TEST_F(BatchCli, ParallelJobsWriteTheSameFiles) {
    fs::create_directories(folder_ / "seq");
    fs::create_directories(folder_ / "par");
    const std::string options = " --output Mollweide --lon 30 --size 48x24";
    const Outcome seq = runCli("render " + inputs() + " --out '" + (folder_ / "seq").string() + "/{name}.png' --jobs 1" + options);
    ASSERT_EQ(seq.status, 0) << seq.output;
    const Outcome par = runCli("render " + inputs() + " --out '" + (folder_ / "par").string() + "/{name}.png' --jobs 2" + options);
    ASSERT_EQ(par.status, 0) << par.output;
    EXPECT_EQ(lines(par.output), 3u) << par.output;
    for (int i = 0; i < 3; ++i) {
        const std::string name = "pano" + std::to_string(i) + ".png";
        const std::string a = bytesOf(folder_ / "seq" / name), b = bytesOf(folder_ / "par" / name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_EQ(a, b) << name;
    }
    // Nothing but the outputs: no temporary files left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "par"), fs::directory_iterator()), 3);
}

}  // namespace
}  // namespace globaro
