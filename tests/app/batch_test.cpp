// The names of a batch's outputs: patterns and refused plans. (The batch
// runs themselves are cases of the command-line table.)

#include <gtest/gtest.h>

#include <string>

#include "app/batch_names.h"

namespace globaro {
namespace {

// {index} counts from 1, padded to the width of the count; "" expects a refusal.
TEST(BatchNames, Patterns) {
    struct Case {
        const char *pattern, *input;
        std::size_t index, count;
        const char* want;
    };
    const Case cases[] = {{"{name}-planet.png", "pano/beach.jpg", 0, 1, "beach-planet.png"},
                          {"{dir}/{name}.{ext}.tif", "pano/beach.jpg", 0, 1, "pano/beach.jpg.tif"},
                          {"{dir}/{name}.png", "beach.jpg", 0, 1, "./beach.png"},
                          {"out/{name}{ext}.png", "frame", 0, 1, "out/frame.png"},
                          {"{name}.png", "archive.tar.gz", 0, 1, "archive.tar.png"},
                          {"plain.png", "a.jpg", 0, 1, "plain.png"},
                          {"f{index}.png", "a.jpg", 0, 9, "f1.png"},
                          {"f{index}.png", "a.jpg", 4, 120, "f005.png"},
                          {"f{index}.png", "a.jpg", 119, 120, "f120.png"},
                          {"{nam}.png", "a.jpg", 0, 1, ""},
                          {"{name.png", "a.jpg", 0, 1, ""},
                          {"", "a.jpg", 0, 1, ""},
                          {"{ext}", "noextension", 0, 1, ""}};
    for (const Case& c : cases) {
        std::string error;
        const auto out = expandOutputPattern(c.pattern, c.input, c.index, c.count, error);
        EXPECT_EQ(out.value_or(""), c.want) << c.pattern << " " << c.input;
        EXPECT_EQ(error.empty(), out.has_value()) << c.pattern;
    }
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
