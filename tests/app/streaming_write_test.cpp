// Writing the rows a run has finished while it works further down: the file
// is always the one saving the finished document makes, whichever way the
// run goes; nothing is left behind when it fails.

#include "app/streaming_write.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <thread>

#include "app/image_io.h"

namespace globaro {
namespace {

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "globaro_stream_" + name; }

// An opaque RGB picture with a transparency plane.
Document picture(int depth, std::int32_t width = 53, std::int32_t height = 211) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, width, height, 3, true, depth, error)) << error;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (std::int32_t y = 0; y < d.height; ++y)
        for (std::int32_t x = 0; x < d.width; ++x)
            for (int p = 0; p < 4; ++p) d.setValue(x, y, p, p == 3 ? 1.0f : u(rng));
    return d;
}

// No file and no partial file of `name` in the temporary folder.
bool nothingLeft(const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir()))
        if (entry.path().filename().string().find("globaro_stream_" + name) != std::string::npos) return false;
    return true;
}

// Rows finish in steps of 40; `changed` rows written early change afterwards;
// a pixel of row `seeThrough` (when not -1) is not opaque, below the rows that
// chose a file without transparency. The file holds what saving would.
struct Way {
    const char* name;
    int depth, writeDepth;
    bool keepAlpha, changed;
    std::int32_t seeThrough;
    bool wantAlpha;
};

TEST(StreamingWrite, EveryWayOfRunningMakesTheSavedFile) {
    const Way ways[] = {{"steps8.tif", 8, 0, false, false, -1, false},
                        {"steps32.tif", 32, 0, false, false, -1, false},
                        {"changed.png", 8, 0, false, true, -1, false},
                        {"late.png", 8, 0, false, false, 150, true},
                        {"kept16.png", 8, 16, true, false, -1, true}};
    for (const Way& r : ways) {
        SCOPED_TRACE(r.name);
        Document doc = picture(r.depth);
        if (r.seeThrough >= 0) doc.setValue(4, r.seeThrough, 3, 0.5f);
        const std::string path = tempPath(r.name);
        std::string error;
        bool alpha = !r.wantAlpha;
        {
            StreamingWrite writing(path, doc, r.writeDepth, r.keepAlpha);
            for (std::int32_t rows = 7; rows < doc.height; rows += 40) writing.rowsFinished(rows);
            if (r.changed) {
                writing.rowsChanging();
                for (std::int32_t x = 0; x < doc.width; ++x) doc.setValue(x, 3, 0, 0.0f);
            }
            writing.rowsFinished(doc.height);
            ASSERT_TRUE(writing.finish(error, alpha)) << error;
        }
        EXPECT_EQ(alpha, r.wantAlpha);
        Document back;
        ASSERT_TRUE(loadDocument(path, back, error)) << error;
        ASSERT_EQ(back.hasAlpha, r.wantAlpha);
        const Document want = convertDepth(doc, r.writeDepth == 0 ? r.depth : r.writeDepth);
        ASSERT_EQ(back.depth, want.depth);
        for (std::int32_t y = 0; y < doc.height; ++y)
            for (std::int32_t x = 0; x < doc.width; ++x)
                for (int p = 0; p < back.planes(); ++p)
                    ASSERT_EQ(back.value(x, y, p), want.value(x, y, p)) << x << ", " << y << ", " << p;
        std::filesystem::remove(path);
        EXPECT_TRUE(nothingLeft(r.name));
    }
}

TEST(StreamingWrite, ARunThatFailsLeavesNoFile) {
    const Document doc = picture(8, 300, 400);
    {
        StreamingWrite writing(tempPath("failed.png"), doc, 0, false);
        writing.rowsFinished(350);
    }  // never finished
    EXPECT_TRUE(nothingLeft("failed"));
    StreamingWrite writing("/nonexistent/folder/out.png", doc, 0, false);
    writing.rowsFinished(doc.height);
    std::string error;
    bool alpha = false;
    EXPECT_FALSE(writing.finish(error, alpha));
    EXPECT_NE(error.find("cannot write \"/nonexistent/folder/out.png\""), std::string::npos) << error;
}

// Rows in the file that the run has moved on from leave memory; when a later
// row cannot join them (transparency below rows written without it), the file
// is not made from what is left: the run is to be made again.
TEST(StreamingWrite, RowsLetGoLeaveMemoryAndAreNeverWrittenFromWhatIsLeft) {
    for (const std::int32_t seeThrough : {-1, 450}) {
        Document doc = picture(8, 600, 500);  // large enough for pages of its own
        if (seeThrough >= 0) doc.setValue(4, seeThrough, 3, 0.5f);
        const Document before = doc;
        const std::string path = tempPath("letgo.png");
        StreamingWrite writing(path, doc, 0, false);
        writing.letWrittenRowsGo(doc), writing.rowsFinished(300), writing.rowsMayGo(300);
        for (int i = 0; i < 2000 && *doc.sample(0, 0, 0) + *doc.sample(1, 0, 0) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(doc.value(0, 100, 3), 0.0f);  // let go
        std::string error;
        bool alpha = false, made = writing.finish(error, alpha);
        EXPECT_EQ(std::pair(made, writing.rowsNeededAgain()), std::pair(seeThrough < 0, seeThrough >= 0)) << error;
        Document back;
        if (!made || !loadDocument(path, back, error)) continue;
        for (std::int32_t y = 0; y < doc.height; y += 7) ASSERT_EQ(back.value(3, y, 1), before.value(3, y, 1)) << y;
        std::filesystem::remove(path);
    }
    EXPECT_TRUE(nothingLeft("letgo"));
}

// A document large enough for large pages lets go of whole pages within the rows it is told, and
// of nothing else: the rows around them keep every value, however the pages were backed.
TEST(StreamingWrite, RowsLetGoInALargeDocumentLeaveTheirNeighboursAlone) {
    for (const int depth : {8, 16}) {
        const Document before = picture(depth, 1500, 1100);  // 6.6 and 13.2 MB
        Document doc = before;
        releaseRows(doc, 200, 900);
        for (std::int32_t y = 0; y < doc.height; y += 3) {
            const bool inside = y >= 240 && y < 860;  // well within: every page of these rows went
            for (std::int32_t x = 0; x < doc.width; x += 149)
                ASSERT_EQ(doc.value(x, y, 1), (y < 200 || y >= 900) ? before.value(x, y, 1)
                                              : inside              ? 0.0f
                                                                    : doc.value(x, y, 1))
                    << depth << " " << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace globaro
