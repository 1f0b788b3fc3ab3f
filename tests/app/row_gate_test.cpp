// The consumer stopping the reader of a file's rows (reads waiting for rows and
// a reader ending short: host/tile_traffic_test.cpp).

#include "app/row_gate.h"

#include <gtest/gtest.h>

#include "app/image_io.h"

namespace globaro {
namespace {

TEST(RowGate, AStoppedReaderEndsAndTheDocumentReaderSaysWhy) {
    Document doc;
    std::string error;
    ASSERT_TRUE(makeDocument(doc, 40, 300, 3, false, 8, error));
    const std::string path = ::testing::TempDir() + "globaro_gate.png";
    ASSERT_TRUE(saveDocument(path, doc, 0, error)) << error;

    Document back;
    DocumentReader reader;
    ASSERT_TRUE(reader.open(path, back, error)) << error;
    EXPECT_EQ(back.height, 300);
    RowGate gate;
    gate.stop();
    EXPECT_FALSE(reader.readRows(back, &gate, error));
    EXPECT_NE(error.find("stopped"), std::string::npos) << error;
    EXPECT_TRUE(gate.waitFor(64));    // the first strip was in
    EXPECT_FALSE(gate.waitFor(300));  // and the gate has ended
}

}  // namespace
}  // namespace globaro
