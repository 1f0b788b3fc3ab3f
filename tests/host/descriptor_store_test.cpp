// The standalone host's descriptor store: read and write procedures, and actions as JSON files.

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

#include "app/descriptor_store.h"
#include "host/descriptor_keys.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

using host_test::TestHandles;

constexpr DescriptorKeyID K(const char (&s)[5]) { return fourCharCode(s); }

// Writes one of every value type through the write suite and returns the handle.
PIDescriptorHandle writeOneOfEach(DescriptorStore& store, HandleProcs& handles) {
    WriteDescriptorProcs& w = store.writeProcs();
    PIWriteDescriptor nestedToken = w.openWriteDescriptorProc(), t = nullptr;
    PIDescriptorHandle nested = nullptr, done = nullptr;
    const double f = 2.5, uf = 90.0;
    Handle text = handles.newProc(3);
    std::memcpy(handles.lockProc(text, 0), "a\x01z", 3);
    const DescriptorSimpleReference ref{K("Lyr "), K("Idnt"), {{3, 'b', 'g', '!'}, 4, 0, 0}};
    const unsigned char pascal[] = {5, 'h', 'e', 'l', 'l', 'o'};
    // In order: a braced list evaluates its elements left to right.
    // clang-format off
    const OSErr results[] = {w.putIntegerProc(nestedToken, K("innr"), 9),
        w.closeWriteDescriptorProc(nestedToken, &nested), OSErr((t = w.openWriteDescriptorProc()) == nullptr),
        w.putIntegerProc(t, K("intg"), -17), w.putFloatProc(t, K("flot"), &f),
        w.putUnitFloatProc(t, K("untf"), K("#Ang"), &uf), w.putBooleanProc(t, K("bool"), 1),
        w.putTextProc(t, K("text"), text), w.putAliasProc(t, K("alis"), text),
        w.putEnumeratedProc(t, K("enum"), K("Koty"), K("Kp##")), w.putClassProc(t, K("clss"), K("Lyr ")),
        w.putSimpleReferenceProc(t, K("sref"), &ref), w.putObjectProc(t, K("objc"), K("Clr "), nested),
        w.putCountProc(t, K("cont"), 4000000000u), w.putStringProc(t, K("strg"), pascal),
        w.putScopedClassProc(t, K("scls"), K("Chnl")), w.putScopedObjectProc(t, K("sobj"), K("Pnt "), nested),
        w.closeWriteDescriptorProc(t, &done)};
    // clang-format on
    for (std::size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i], noErr) << "call " << i;
    handles.disposeProc(text);
    EXPECT_TRUE(store.release(nested));
    return done;
}

struct StoreTest : ::testing::Test {
    HandleProcs handles = TestHandles::procs();
    DescriptorStore store;
    StoreTest() { store.setHandleProcs(&handles); }
};

// Reads the current item as `kind`: its value as text, "coerced <value>", or
// "wrong" for a value of another type.
std::string readAs(DescriptorStore& store, HandleProcs& handles, PIReadDescriptor t, const std::string& kind) {
    ReadDescriptorProcs& r = store.readProcs();
    std::int32_t i = 0;
    double d = 0;
    std::uint32_t u = 0;
    Boolean b = 0;
    Handle text = nullptr;
    unsigned char pascal[256] = {};
    DescriptorSimpleReference ref{};
    PIDescriptorHandle nested = nullptr;
    const double lo = 3.0, hi = 45.0;
    OSErr e = kDescriptorBadToken;
    std::ostringstream v;
    if (kind == "integer") e = r.getIntegerProc(t, &i), v << i;
    if (kind == "pinned 0..10") e = r.getPinnedIntegerProc(t, 0, 10, &i), v << i;
    if (kind == "pinned -20..10") e = r.getPinnedIntegerProc(t, -20, 10, &i), v << i;
    if (kind == "float") e = r.getFloatProc(t, &d), v << d;
    if (kind == "float from 3") e = r.getPinnedFloatProc(t, &lo, nullptr, &d), v << d;
    if (kind == "unit") e = r.getUnitFloatProc(t, &u, &d), v << fourCharText(u) << " " << d;
    if (kind == "unit to 45") e = r.getPinnedUnitFloatProc(t, nullptr, &hi, &u, &d), v << d;
    if (kind == "boolean") e = r.getBooleanProc(t, &b), v << int{b};
    if (kind == "text") e = r.getTextProc(t, &text);
    if (kind == "alias") e = r.getAliasProc(t, &text);
    if (text != nullptr)
        v << std::string(handles.lockProc(text, 0), handles.getSizeProc(text)), handles.disposeProc(text);
    if (kind == "string")
        e = r.getStringProc(t, pascal), v << std::string(reinterpret_cast<char*>(pascal + 1), pascal[0]);
    if (kind == "enum") e = r.getEnumeratedProc(t, &u), v << fourCharText(u);
    if (kind == "class") e = r.getClassProc(t, &u), v << fourCharText(u);
    if (kind == "count") e = r.getCountProc(t, &u), v << u;
    if (kind == "reference")
        e = r.getSimpleReferenceProc(t, &ref),
        v << fourCharText(ref.desiredClass) << " " << fourCharText(ref.keyForm) << " " << ref.keyData.index << " "
          << std::string(reinterpret_cast<char*>(ref.keyData.name + 1), ref.keyData.name[0]);
    if (kind == "object" && (e = r.getObjectProc(t, &u, &nested)) == noErr) {
        v << fourCharText(u) << " " << store.find(nested)->find(K("innr"))->integer;
        EXPECT_TRUE(store.release(nested));
    }
    return e == noErr                  ? v.str()
           : e == kDescriptorCoerced   ? "coerced " + v.str()
           : e == kDescriptorWrongType ? "wrong"
                                       : "error " + std::to_string(e);
}

TEST_F(StoreTest, EveryTypeReadsBackWithItsTypeCodeAndRefusesOtherReads) {
    struct Item {
        const char *key, *type;
        std::vector<std::pair<const char*, const char*>> reads;  // read as, gives
    };
    // clang-format off
    const Item items[] = {
        {"intg", "long", {{"integer", "-17"}, {"pinned 0..10", "coerced 0"}, {"pinned -20..10", "-17"},
                          {"float", "wrong"}, {"boolean", "wrong"}}},
        {"flot", "doub", {{"float", "2.5"}, {"float from 3", "coerced 3"}, {"integer", "wrong"}, {"unit", "wrong"}}},
        {"untf", "UntF", {{"unit", "#Ang 90"}, {"unit to 45", "coerced 45"}, {"float", "wrong"}}},
        {"bool", "bool", {{"boolean", "1"}, {"integer", "wrong"}}},
        {"text", "TEXT", {{"text", "a\x01z"}, {"string", "a\x01z"}, {"alias", "wrong"}}},
        {"alis", "alis", {{"alias", "a\x01z"}, {"string", "wrong"}}},
        {"enum", "enum", {{"enum", "Kp##"}, {"class", "wrong"}}},
        {"clss", "type", {{"class", "Lyr "}, {"enum", "wrong"}}},
        {"sref", "obj ", {{"reference", "Lyr  Idnt 4 bg!"}}},
        {"objc", "Objc", {{"object", "Clr  9"}, {"integer", "wrong"}}},
        {"cont", "cnt ", {{"count", "4000000000"}, {"integer", "wrong"}}},
        {"strg", "TEXT", {{"string", "hello"}}},
        {"scls", "type", {{"class", "Chnl"}}},
        {"sobj", "Objc", {{"object", "Pnt  9"}}}};
    // clang-format on
    PIDescriptorHandle h = writeOneOfEach(store, handles);
    ReadDescriptorProcs& r = store.readProcs();
    DescriptorKeyID keys[] = {K("intg"), K("flot"), 0};
    PIReadDescriptor t = r.openReadDescriptorProc(h, keys);
    ASSERT_NE(t, nullptr);
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    std::int32_t flags = -1;
    for (const Item& item : items) {
        ASSERT_TRUE(r.getKeyProc(t, &key, &type, &flags)) << item.key;
        EXPECT_EQ(fourCharText(key) + " " + fourCharText(type) + " " + std::to_string(flags),
                  std::string(item.key) + " " + item.type + " 0");
        for (const auto& [as, gives] : item.reads)
            EXPECT_EQ(readAs(store, handles, t, as), gives) << item.key << " as " << as;
    }
    EXPECT_FALSE(r.getKeyProc(t, &key, &type, &flags));
    EXPECT_EQ(readAs(store, handles, t, "integer"),
              "error " + std::to_string(kDescriptorBadToken));  // nothing current after the end
    EXPECT_EQ(r.closeReadDescriptorProc(t), noErr);             // both expected keys came
    EXPECT_EQ(std::pair(store.openReadTokens(), r.closeReadDescriptorProc(t)),
              std::pair(std::size_t{0}, kDescriptorBadToken));
}

TEST_F(StoreTest, BadTokensEarlyReadsAndMissingKeysFail) {
    PIDescriptorHandle h = writeOneOfEach(store, handles);
    ReadDescriptorProcs& r = store.readProcs();
    PIReadDescriptor t = r.openReadDescriptorProc(h, nullptr);
    std::int32_t i = 0;
    DescriptorKeyID key = 0;
    EXPECT_EQ(std::pair(r.getIntegerProc(t, &i), r.getIntegerProc(nullptr, &i)),
              std::pair(kDescriptorBadToken, kDescriptorBadToken));
    EXPECT_FALSE(r.getKeyProc(nullptr, &key, nullptr, nullptr));
    EXPECT_TRUE(r.getKeyProc(t, &key, nullptr, nullptr));  // type and flags are optional
    EXPECT_EQ(std::pair(r.getIntegerProc(t, nullptr), r.closeReadDescriptorProc(t)),
              (std::pair<OSErr, OSErr>(kDescriptorBadToken, noErr)));
    // Open on nothing, or on a handle that is not the store's.
    int notAHandle = 0;
    EXPECT_EQ(r.openReadDescriptorProc(nullptr, nullptr), nullptr);
    EXPECT_EQ(r.openReadDescriptorProc(reinterpret_cast<PIDescriptorHandle>(&notAHandle), nullptr), nullptr);
    WriteDescriptorProcs& w = store.writeProcs();
    PIDescriptorHandle out = nullptr;
    PIWriteDescriptor wt = w.openWriteDescriptorProc();
    for (const OSErr e : {w.putIntegerProc(nullptr, K("intg"), 1), w.closeWriteDescriptorProc(nullptr, &out),
                          w.putFloatProc(wt, K("flot"), nullptr), w.putObjectProc(wt, K("objc"), K("Clr "), nullptr),
                          w.closeWriteDescriptorProc(wt, nullptr)})
        EXPECT_EQ(e, kDescriptorBadToken);
    EXPECT_EQ(store.openWriteTokens(), 0u);
    // Expected keys that did not come are reported on close.
    DescriptorKeyID keys[] = {K("intg"), K("nope"), 0};
    EXPECT_EQ(r.closeReadDescriptorProc(r.openReadDescriptorProc(h, keys)), kDescriptorMissingKey);
}

TEST_F(StoreTest, PuttingAKeyAgainReplacesItInPlace) {
    WriteDescriptorProcs& w = store.writeProcs();
    PIWriteDescriptor t = w.openWriteDescriptorProc();
    w.putIntegerProc(t, K("aaaa"), 1), w.putIntegerProc(t, K("bbbb"), 2), w.putBooleanProc(t, K("aaaa"), 1);
    PIDescriptorHandle h = nullptr;
    ASSERT_EQ(w.closeWriteDescriptorProc(t, &h), noErr);
    const RecordedDescriptor* d = store.find(h);
    ASSERT_EQ(d->items.size(), 2u);
    EXPECT_EQ(std::pair(d->items[0].key, d->items[0].value.type), std::pair(K("aaaa"), DescriptorValueType::kBoolean));
}

TEST(DescriptorStoreActive, ProceduresFailWithoutAStoreAndNestedStoresRestore) {
    ReadDescriptorProcs readProcs{};
    WriteDescriptorProcs writeProcs{};
    {
        DescriptorStore store;
        readProcs = store.readProcs(), writeProcs = store.writeProcs();
    }
    EXPECT_EQ(activeDescriptorStore(), nullptr);
    EXPECT_EQ(writeProcs.openWriteDescriptorProc(), nullptr);
    EXPECT_EQ(readProcs.openReadDescriptorProc(nullptr, nullptr), nullptr);
    std::int32_t i = 0;
    EXPECT_EQ(readProcs.getIntegerProc(nullptr, &i), kDescriptorBadToken);
    EXPECT_FALSE(releaseDescriptorHandle(nullptr));
    DescriptorStore outer;
    {
        DescriptorStore inner;
        EXPECT_EQ(activeDescriptorStore(), &inner);
    }
    EXPECT_EQ(activeDescriptorStore(), &outer);  // nested stores restore the previous one
}

TEST_F(StoreTest, ActionJsonKeepsEveryType) {
    PIDescriptorHandle h = writeOneOfEach(store, handles);
    RecordedAction action;
    action.playInfo = plugInDialogSilent;
    action.descriptor = *store.find(h);
    action.descriptor.put(K("nan "), DescriptorValue::makeFloat(std::numeric_limits<double>::quiet_NaN()));
    action.descriptor.put(K("inf "), DescriptorValue::makeFloat(-std::numeric_limits<double>::infinity()));
    action.descriptor.put(0x01020304u, DescriptorValue::makeInteger(std::numeric_limits<std::int32_t>::min()));
    const std::string json = actionToJson(action);
    EXPECT_TRUE(json.find("\"Globaro 2 action\"") != std::string::npos && json.find("\"silent\"") != std::string::npos);
    RecordedAction back;
    std::string error;
    ASSERT_TRUE(actionFromJson(json, back, error)) << error;
    ASSERT_EQ(std::pair(back.playInfo, back.descriptor.items.size()),
              std::pair(std::int16_t(plugInDialogSilent), action.descriptor.items.size()));
    EXPECT_EQ(actionToJson(back), json);
    const RecordedDescriptor& d = back.descriptor;
    EXPECT_EQ(std::tuple(d.find(K("text"))->bytes, d.find(K("cont"))->count, std::isnan(d.find(K("nan "))->number)),
              std::tuple(std::string("a\x01z", 3), 4000000000u, true));
    EXPECT_EQ(std::tuple(d.find(0x01020304u)->integer, d.find(K("objc"))->object->find(K("innr"))->integer,
                         d.find(K("sref"))->reference.keyData.index),
              std::tuple(std::numeric_limits<std::int32_t>::min(), 9, 4));
}

// Each hostile document is refused with a message that names the problem.
TEST(ActionFiles, HostileDocumentsAreRefusedClearly) {
    const std::string head = R"({"format":"Globaro 2 action","version":1,"descriptor":)";
    const std::pair<std::string, std::string> cases[] = {
        {"", "not a valid JSON"},
        {"{", "not a valid JSON"},
        {"[1,2]", "must be a JSON object"},
        {R"({"format":"other","version":1,"descriptor":[]})", "not an action file"},
        {R"({"format":"Globaro 2 action","version":2,"descriptor":[]})", "version"},
        {R"({"format":"Globaro 2 action","version":1})", "\"descriptor\" is missing"},
        {R"({"format":"Globaro 2 action","version":1,"playInfo":"loud","descriptor":[]})", "playInfo"},
        {head + "{}}", "list of items"},
        {head + "[5]}", "item 1: an item must be an object"},
        {head + R"([{"type":"integer","value":1}]})", "\"key\" is missing"},
        {head + R"([{"key":"toolong","type":"integer","value":1}]})", "four characters"},
        {head + R"([{"key":-1,"type":"integer","value":1}]})", "four-character code"},
        {head + R"([{"key":4294967296,"type":"integer","value":1}]})", "four-character code"},
        {head + R"([{"key":"Vers","type":"integer","value":2147483648}]})", "out of range"},
        {head + R"([{"key":"Vers","type":"integer","value":-2147483649}]})", "out of range"},
        {head + R"([{"key":"Vers","type":"integer","value":1.5}]})", "whole number"},
        {head + R"([{"key":"Vers","type":"integer"}]})", "\"value\" is missing"},
        {head + R"([{"key":"Vers","type":"wide","value":1}]})", "unknown type"},
        {head + R"([{"key":"Vers","value":1}]})", "\"type\" is missing"},
        {head + R"([{"key":"0034","type":"float","value":"lots"}]})", "must be a number"},
        {head + R"([{"key":"0011","type":"boolean","value":1}]})", "true or false"},
        {head + R"([{"key":"text","type":"text","value":[1,256]}]})", "byte values"},
        {head + R"([{"key":"text","type":"text","value":{}}]})", "string or a list of bytes"},
        {head + R"([{"key":"Koky","type":"enumerated","value":"Kp##"}]})", "\"enumType\" is missing"},
        {head + R"([{"key":"cont","type":"count","value":-1}]})", "out of range"},
        {head + R"([{"key":"objc","type":"object","class":"Clr ","value":5}]})", "list of items"},
        {head + R"([{"key":"Vers","type":"integer","value":48},{"key":"0034","type":"float","value":true}]})",
         "item 2 (key \"0034\")"},
    };
    for (const auto& [text, expected] : cases) {
        RecordedAction action{.playInfo = 2};
        std::string error;
        EXPECT_FALSE(actionFromJson(text, action, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << " -> " << error;
        EXPECT_EQ(action.playInfo, 2) << "a refused document leaves the action alone";
    }
}

TEST(ActionFiles, HugeFilesAndEmptyRecordingsAreRefused) {
    RecordedAction action;
    std::string error;
    DescriptorStore store;
    EXPECT_FALSE(saveRecordedAction(store, ::testing::TempDir() + "unused.json", plugInDialogDontDisplay, error));
    EXPECT_NE(error.find("recorded no settings"), std::string::npos) << error;
    const std::string path = ::testing::TempDir() + "globaro_big_action_" + std::to_string(getpid()) + ".json";
    std::ofstream(path, std::ios::binary) << std::string(kMaxActionFileBytes + 1, ' ');
    EXPECT_FALSE(loadActionFile(path, action, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    std::remove(path.c_str());
}

}  // namespace
}  // namespace globaro
