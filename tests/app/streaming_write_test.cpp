// Writing the rows a run has finished while it works further down: the file
// is always the one saving the finished document makes, whichever way the
// run goes; nothing is left behind when it fails.

#include "app/streaming_write.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "app/image_io.h"

namespace globaro {
namespace {

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "globaro_stream_" + name; }

// An opaque RGB picture with a transparency plane, 8-bit or float.
Document picture(int depth, std::int32_t width = 53, std::int32_t height = 211) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, width, height, 3, true, depth, error)) << error;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (std::int32_t y = 0; y < d.height; ++y)
        for (std::int32_t x = 0; x < d.width; ++x) {
            for (int p = 0; p < 3; ++p) d.setValue(x, y, p, u(rng));
            d.setValue(x, y, 3, 1.0f);
        }
    return d;
}

// No file and no partial file of `name` in the temporary folder.
bool nothingLeft(const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir()))
        if (entry.path().filename().string().find("globaro_stream_" + name) != std::string::npos) return false;
    return true;
}

void expectSamePixels(const std::string& path, const Document& doc, bool alpha) {
    Document back;
    std::string error;
    ASSERT_TRUE(loadDocument(path, back, error)) << error;
    ASSERT_EQ(back.hasAlpha, alpha);
    ASSERT_EQ(back.depth, doc.depth);
    for (std::int32_t y = 0; y < doc.height; ++y)
        for (std::int32_t x = 0; x < doc.width; ++x)
            for (int p = 0; p < back.planes(); ++p)
                ASSERT_EQ(back.value(x, y, p), doc.value(x, y, p)) << x << ", " << y << ", " << p;
}

TEST(StreamingWrite, RowsFinishedInStepsMakeTheSavedFile) {
    for (int depth : {8, 32}) {
        const Document doc = picture(depth);
        const std::string path = tempPath("steps.tif");
        {
            StreamingWrite writing(path, doc, 0, false);
            for (std::int32_t rows = 7; rows < doc.height; rows += 40) writing.rowsFinished(rows);
            std::string error;
            bool alpha = true;
            ASSERT_TRUE(writing.finish(error, alpha)) << error;
            EXPECT_FALSE(alpha);  // every pixel opaque: the plane stays out
        }
        expectSamePixels(path, doc, false);
        std::filesystem::remove(path);
        EXPECT_TRUE(nothingLeft("steps"));
    }
}

TEST(StreamingWrite, ARowChangedOrTransparentAfterItWasWrittenStillEndsInTheRightFile) {
    const std::string path = tempPath("changed.png");
    std::string error;
    bool alpha = false;
    {
        // Rows written early change afterwards: the file is written again.
        Document doc = picture(8);
        StreamingWrite writing(path, doc, 0, false);
        writing.rowsFinished(100);
        writing.rowsChanging();
        for (std::int32_t x = 0; x < doc.width; ++x) doc.setValue(x, 3, 0, 0.0f);
        ASSERT_TRUE(writing.finish(error, alpha)) << error;
        expectSamePixels(path, doc, false);
    }
    {
        // Opaque top rows chose a file without transparency; a lower row is
        // not opaque: the file is written again, with it.
        Document doc = picture(8);
        doc.setValue(4, 150, 3, 0.5f);
        StreamingWrite writing(path, doc, 0, false);
        writing.rowsFinished(64);
        writing.rowsFinished(doc.height);
        ASSERT_TRUE(writing.finish(error, alpha)) << error;
        EXPECT_TRUE(alpha);
        expectSamePixels(path, doc, true);
    }
    {
        // Kept on request.
        const Document doc = picture(8);
        StreamingWrite writing(path, doc, 16, true);
        writing.rowsFinished(doc.height);
        ASSERT_TRUE(writing.finish(error, alpha)) << error;
        EXPECT_TRUE(alpha);
        Document back;
        ASSERT_TRUE(loadDocument(path, back, error)) << error;
        EXPECT_TRUE(back.hasAlpha);
        EXPECT_EQ(back.depth, 16);
    }
    std::filesystem::remove(path);
    EXPECT_TRUE(nothingLeft("changed"));
}

TEST(StreamingWrite, ARunThatFailsLeavesNoFile) {
    const Document doc = picture(8, 300, 400);
    {
        StreamingWrite writing(tempPath("failed.png"), doc, 0, false);
        writing.rowsFinished(350);
    }  // never finished
    EXPECT_TRUE(nothingLeft("failed"));
    // A target that cannot be written: the reason, and nothing left.
    StreamingWrite writing("/nonexistent/folder/out.png", doc, 0, false);
    writing.rowsFinished(doc.height);
    std::string error;
    bool alpha = false;
    EXPECT_FALSE(writing.finish(error, alpha));
    EXPECT_NE(error.find("cannot write \"/nonexistent/folder/out.png\""), std::string::npos) << error;
}

}  // namespace
}  // namespace globaro
