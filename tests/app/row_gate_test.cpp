// The rows of a file read on another thread: waiting for rows, the reader
// ending short, and the consumer stopping the reader.

#include "app/row_gate.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/image_io.h"

namespace globaro {
namespace {

TEST(RowGate, WaitsForRowsAndLearnsWhenTheyWillNotCome) {
    RowGate gate;
    std::thread reader([&] {
        for (std::int32_t rows = 16; rows <= 64; rows += 16) EXPECT_TRUE(gate.publish(rows));
        gate.end();  // the file broke off after 64 rows
    });
    EXPECT_TRUE(gate.waitFor(48));
    EXPECT_FALSE(gate.waitFor(65));
    EXPECT_TRUE(gate.waitFor(64));
    reader.join();
}

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
