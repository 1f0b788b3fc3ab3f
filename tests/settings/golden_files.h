#pragma once
// Golden files of the settings formats, in tests/data/settings/. Each file
// has one line in expected.txt: its name, then the record it reads as, one
// "field=value" per field of the settings table (and the thumbnail it
// holds). The records the tests make the files from must still make the
// same bytes: what we write never changes. Running a golden test with GLOBARO_UPDATE_GOLDEN=1
// makes the files and their lines again from the records in the tests;
// check `git diff` of expected.txt by eye before committing new ones.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings_fields.h"
#include "settings/thumbnail.h"

namespace globaro::golden {

inline std::string folder() { return std::string(GLOBARO_TEST_DATA) + "/settings/"; }
inline bool updating() { return std::getenv("GLOBARO_UPDATE_GOLDEN") != nullptr; }

inline std::vector<std::uint8_t> load(const std::string& name) {
    std::ifstream in(folder() + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void save(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(folder());
    std::ofstream out(folder() + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// One field as text.
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
    for (std::string line; std::getline(in, line);) {
        const auto space = line.find(' ');
        if (space != std::string::npos) lines[line.substr(0, space)] = line.substr(space + 1);
    }
    return lines;
}

inline void saveExpectedLine(const std::string& name, const std::string& description) {
    auto lines = expectedLines();
    lines[name] = description;
    std::ofstream out(folder() + "expected.txt", std::ios::trunc);
    for (const auto& [file, text] : lines) out << file << ' ' << text << '\n';
}

// Compares a description with the expected one item by item, so that a
// failure names the fields that differ.
inline void expectDescription(const std::string& name, const std::string& actual) {
    const auto lines = expectedLines();
    const auto it = lines.find(name);
    ASSERT_NE(it, lines.end()) << name << " has no line in expected.txt";
    std::istringstream a(actual), e(it->second);
    for (std::string x, y; a >> x && e >> y;) EXPECT_EQ(x, y) << name;
    EXPECT_EQ(actual, it->second) << name;
}

}  // namespace globaro::golden
