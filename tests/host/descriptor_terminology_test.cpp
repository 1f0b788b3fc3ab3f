// The terminology resource: walked field by field, and a few bytes at fixed
// positions.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "host/descriptor_keys.h"
#include "host/terminology_resource.h"
#include "projection/catalogue.h"
#include "render/blend_modes.h"

namespace globaro {
namespace {

// Reads the resource in its own layout; every read is bounds-checked.
class Walker {
public:
    explicit Walker(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint16_t u16() {
        need(2);
        const std::uint16_t v = static_cast<std::uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
        at_ += 2;
        return v;
    }
    std::uint8_t u8() {
        need(1);
        return bytes_[at_++];
    }
    // A code is stored with its characters reversed.
    std::string code() {
        need(4);
        std::string s{static_cast<char>(bytes_[at_ + 3]), static_cast<char>(bytes_[at_ + 2]),
                      static_cast<char>(bytes_[at_ + 1]), static_cast<char>(bytes_[at_])};
        at_ += 4;
        return s;
    }
    std::string text() {
        const std::size_t n = u8();
        need(n);
        std::string s(reinterpret_cast<const char*>(bytes_.data() + at_), n);
        at_ += n;
        return s;
    }
    std::size_t position() const { return at_; }
    bool ok() const { return ok_; }

private:
    void need(std::size_t n) {
        if (at_ + n > bytes_.size()) {
            ok_ = false;
            ADD_FAILURE() << "read past the end at " << at_;
            at_ = bytes_.size() - n;  // keeps later reads in bounds
        }
    }
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

struct Entry {
    std::string name, code, description;
};

struct Enumeration {
    std::string type;
    std::vector<Entry> entries;
};

struct Parameter {
    std::string name, key, type, description;
    std::uint16_t flags;
};

TEST(Terminology, StructureWalk) {
    const auto bytes = terminologyBytes();
    Walker w(bytes);
    EXPECT_EQ(w.u16(), 1);  // resource version
    EXPECT_EQ(w.u8(), 1);   // terminology 1.0
    EXPECT_EQ(w.u8(), 0);
    EXPECT_EQ(w.u16(), 0);  // language
    EXPECT_EQ(w.u16(), 0);  // script
    EXPECT_EQ(w.u16(), 1);  // suites

    EXPECT_EQ(w.text(), "Quillmoor");
    EXPECT_EQ(w.text(), "Globaro 2");
    EXPECT_EQ(w.code(), "QMg2");
    EXPECT_EQ(w.u16(), 1);
    EXPECT_EQ(w.u16(), 1);
    EXPECT_EQ(w.u16(), 1);  // events

    EXPECT_EQ(w.text(), "Globaro 2");
    EXPECT_EQ(w.text(), "Reprojects spherical panoramas");
    EXPECT_EQ(w.code(), "QMg2");
    EXPECT_EQ(w.code(), "QMg2");
    EXPECT_EQ(w.code(), "null");
    EXPECT_EQ(w.text(), "");
    EXPECT_EQ(w.u16(), 0x0000);
    EXPECT_EQ(w.code(), "#ImR");
    EXPECT_EQ(w.text(), "");
    EXPECT_EQ(w.u16(), 0xB000);

    const std::uint16_t parameterCount = w.u16();
    ASSERT_EQ(parameterCount, 41);
    std::vector<Parameter> parameters;
    for (int i = 0; i < parameterCount; ++i) {
        Parameter p;
        p.name = w.text();
        p.key = w.code();
        p.type = w.code();
        p.description = w.text();
        p.flags = w.u16();
        parameters.push_back(p);
    }
    EXPECT_EQ(parameters[0].name, "version");
    EXPECT_EQ(parameters[0].key, "Vers");
    EXPECT_EQ(parameters[0].type, "long");
    EXPECT_EQ(parameters[0].flags, 0x8000);
    EXPECT_EQ(parameters[7].key, "Kiky");
    EXPECT_EQ(parameters[7].type, "Kity");
    EXPECT_EQ(parameters[7].flags, 0xA000);
    EXPECT_EQ(parameters[8].name, "latitude integer");
    EXPECT_EQ(parameters[8].description, "latitude");
    EXPECT_EQ(parameters[10].key, "Koky");
    EXPECT_EQ(parameters[10].flags, 0x8000);
    EXPECT_EQ(parameters[15].key, "0015");
    EXPECT_EQ(parameters[15].name, "grid");
    EXPECT_EQ(parameters[16].key, "GLUE");
    EXPECT_EQ(parameters[16].flags, 0xA000);
    EXPECT_EQ(parameters[32].name, "grid2");
    EXPECT_EQ(parameters[32].type, "Kgty");
    EXPECT_EQ(parameters[35].key, "0034");
    EXPECT_EQ(parameters[35].type, "doub");
    EXPECT_EQ(parameters[40].key, "0039");
    EXPECT_EQ(parameters[40].name, "sharpen");
    // Every parameter is a key of the read list.
    std::set<std::string> readKeys;
    for (DescriptorKeyID k : descriptorReadKeys()) readKeys.insert(fourCharText(k));
    for (const Parameter& p : parameters) EXPECT_TRUE(readKeys.count(p.key)) << p.key;

    EXPECT_EQ(w.u16(), 0);  // classes
    EXPECT_EQ(w.u16(), 0);  // comparison operators
    const std::uint16_t enumerationCount = w.u16();
    ASSERT_EQ(enumerationCount, 4);
    std::vector<Enumeration> enums;
    for (int e = 0; e < enumerationCount; ++e) {
        Enumeration en;
        en.type = w.code();
        const std::uint16_t n = w.u16();
        for (int i = 0; i < n; ++i) {
            Entry entry;
            entry.name = w.text();
            entry.code = w.code();
            entry.description = w.text();
            en.entries.push_back(entry);
        }
        enums.push_back(en);
    }
    EXPECT_EQ(w.position(), bytes.size()) << "no bytes after the last enumeration";
    ASSERT_TRUE(w.ok());

    EXPECT_EQ(enums[0].type, "Kgty");
    ASSERT_EQ(enums[0].entries.size(), 7u);
    EXPECT_EQ(enums[0].entries[0].name, "none");
    EXPECT_EQ(enums[0].entries[6].code, "Kgr7");
    EXPECT_EQ(enums[0].entries[6].description, "45 degrees");

    EXPECT_EQ(enums[1].type, "Kity");
    ASSERT_EQ(enums[1].entries.size(), 35u);
    EXPECT_EQ(enums[1].entries[7].name, "circular 180\xE2\xAE\x9E");
    EXPECT_EQ(enums[1].entries[7].description, enums[1].entries[7].name);
    EXPECT_EQ(enums[1].entries[15].code, "Ki18");
    EXPECT_EQ(enums[1].entries[15].name, "Robinson ");
    EXPECT_EQ(enums[1].entries[15].description, "Robinson");
    EXPECT_EQ(enums[1].entries[16].code, "Ki17");
    EXPECT_EQ(enums[1].entries[16].description, "QTVR cube");
    EXPECT_EQ(enums[1].entries[34].code, "Ki34");
    EXPECT_EQ(enums[1].entries[34].name, "flat map to sphere");

    EXPECT_EQ(enums[2].type, "Koty");
    ASSERT_EQ(enums[2].entries.size(), 380u);
    std::vector<std::pair<std::int32_t, DescriptorEnumID>> outputs;
    outputKeyTable().forEach([&](std::int32_t id, DescriptorEnumID key) { outputs.emplace_back(id, key); });
    for (std::size_t i = 0; i < 380; ++i) {
        const Entry& entry = enums[2].entries[i];
        EXPECT_EQ(entry.code, fourCharText(outputs[i].second)) << i;
        EXPECT_EQ(entry.name, outputProjectionName(outputs[i].first)) << i;
        EXPECT_EQ(entry.description, entry.name);
        EXPECT_FALSE(entry.name.empty());
        EXPECT_NE(entry.name, "***");
    }
    EXPECT_EQ(enums[2].entries.back().code, "Kt80");  // id 382
    EXPECT_EQ(enums[2].entries.back().name, "hyperbolic 5,4 band");

    EXPECT_EQ(enums[3].type, "GLty");
    ASSERT_EQ(enums[3].entries.size(), 61u);
    for (int id = 1; id <= 59; ++id) {
        EXPECT_EQ(enums[3].entries[static_cast<std::size_t>(id - 1)].code, fourCharText(glueKeyTable().keyFor(id)));
        EXPECT_EQ(enums[3].entries[static_cast<std::size_t>(id - 1)].name, blendModeName(id));
    }
    EXPECT_EQ(enums[3].entries[59].code, "GL62");
    EXPECT_EQ(enums[3].entries[59].name, "screendim");
    EXPECT_EQ(enums[3].entries[60].code, "GL63");
    EXPECT_EQ(enums[3].entries[60].name, "starbright");
}

TEST(Terminology, GoldenBytes) {
    const auto b = terminologyBytes();
    ASSERT_GT(b.size(), 131u);
    const std::vector<std::uint8_t> header = {0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x09, 'Q'};
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 12), header);
    // The suite code, reversed.
    EXPECT_EQ(std::string(b.begin() + 30, b.begin() + 34), "2gMQ");
    EXPECT_EQ(b[50], 30);  // length of the event's description
    EXPECT_EQ(std::string(b.begin() + 89, b.begin() + 93), "llun");
    EXPECT_EQ(std::string(b.begin() + 96, b.begin() + 100), "RmI#");
    EXPECT_EQ(b[101], 0x00);
    EXPECT_EQ(b[102], 0xB0);
    EXPECT_EQ(b[103], 41);
    EXPECT_EQ(b[104], 0);
    EXPECT_EQ(b[105], 7);  // "version"
    EXPECT_EQ(std::string(b.begin() + 113, b.begin() + 117), "sreV");
    EXPECT_EQ(std::string(b.begin() + 117, b.begin() + 121), "gnol");
    EXPECT_EQ(b[129], 0x00);
    EXPECT_EQ(b[130], 0x80);
    // The last entry: "starbright", 'GL63' reversed, "starbright".
    const std::string tail(b.end() - 26, b.end());
    EXPECT_EQ(tail, std::string("\x0Astarbright36LG\x0Astarbright"));
}

TEST(Terminology, BuiltOnceAndStable) {
    const auto a = terminologyBytes();
    const auto b = terminologyBytes();
    EXPECT_EQ(a.data(), b.data());
    EXPECT_EQ(a.size(), b.size());
}

}  // namespace
}  // namespace globaro
