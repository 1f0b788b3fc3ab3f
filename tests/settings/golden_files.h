#pragma once
// Golden files of the settings formats, in tests/data/settings/ (see its README): each has a line in
// expected.txt, its name and the record it reads as, "field=value" per field of the table.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "settings/persist_test_support.h"
#include "settings/settings_fields.h"

namespace globaro::golden {

inline std::string folder() { return std::string(GLOBARO_TEST_DATA) + "/settings/"; }
inline bool updating() { return std::getenv("GLOBARO_UPDATE_GOLDEN") != nullptr; }

inline std::vector<std::uint8_t> load(const std::string& name) { return persist_test::readBytes(folder() + name); }
inline void save(const std::string& name, const std::vector<std::uint8_t>& b) {
    persist_test::writeBytes(folder() + name, b);
}

inline std::string fieldText(const SettingsField& f, const SettingsRecord& r) {
    char text[64];
    switch (f.type) {
        case FieldType::kFloat:
            std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f.place.floatIn(r)));
            break;
        case FieldType::kColor: {
            const Rgb16 c = f.place.colorIn(r);
            std::snprintf(text, sizeof text, "%u,%u,%u", c.red, c.green, c.blue);
            break;
        }
        default:
            std::snprintf(text, sizeof text, "%d", f.place.integerIn(r));
    }
    return text;
}

// The record (every field of the table) and thumbnail as one line.
inline std::string describe(const SettingsRecord& r, const Thumbnail* t = nullptr) {
    std::string line;
    for (const SettingsField& f : settingsFields()) line += std::string(f.name) + "=" + fieldText(f, r) + " ";
    line += "thumbnail=" + (t == nullptr || t->empty() ? std::string("none")
                                                       : std::to_string(t->width) + "x" + std::to_string(t->height));
    return line;
}

// The lines of expected.txt by file name.
inline std::map<std::string, std::string> expectedLines() {
    std::map<std::string, std::string> lines;
    std::ifstream in(folder() + "expected.txt");
    for (std::string name, line; in >> name && std::getline(in >> std::ws, line);) lines[name] = line;
    return lines;
}

inline void saveExpectedLine(const std::string& name, const std::string& description) {
    auto lines = expectedLines();
    lines[name] = description;
    std::ofstream out(folder() + "expected.txt", std::ios::trunc);
    for (const auto& [file, text] : lines) out << file << ' ' << text << '\n';
}

// Compares item by item, so that a failure names the fields that differ.
inline void expectDescription(const std::string& name, const std::string& actual) {
    const std::string expected = expectedLines()[name];
    std::istringstream a(actual), e(expected);
    for (std::string x, y; a >> x && e >> y;) EXPECT_EQ(x, y) << name;
    EXPECT_EQ(actual, expected) << name;
}

}  // namespace globaro::golden
