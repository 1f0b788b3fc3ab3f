// The names of a batch's outputs: patterns and refused plans. (The batch
// runs themselves are cases of the command-line table.)

#include <gtest/gtest.h>

#include <string>

#include "app/batch_names.h"

namespace globaro {
namespace {

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

}  // namespace
}  // namespace globaro
