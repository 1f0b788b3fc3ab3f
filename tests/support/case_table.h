#pragma once
// Tables of test cases kept as text: one case per line, fields separated by
// spaces, `key=value` fields by name, the source of the expected value after
// "|", comments after "#".

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace globaro::testing {

struct TextCase {
    int line = 0;
    std::string kind, source;
    std::vector<std::string> fields;           // the positional fields after the kind
    std::map<std::string, std::string> named;  // key=value fields

    bool has(const char* word) const {
        for (const std::string& f : fields)
            if (f == word) return true;
        return false;
    }
    double num(std::size_t i) const { return std::stod(fields.at(i)); }
    double namedOr(const char* key, double fallback) const {
        const auto it = named.find(key);
        return it == named.end() ? fallback : std::stod(it->second);
    }
};

inline std::vector<TextCase> readTextCases(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::vector<TextCase> cases;
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        const std::size_t bar = text.find('|');
        std::istringstream words(text.substr(0, bar));
        TextCase c;
        c.line = line;
        if (!(words >> c.kind) || c.kind[0] == '#') continue;
        c.source = bar == std::string::npos ? "" : text.substr(bar + 1);
        for (std::string w; words >> w;) {
            const std::size_t eq = w.find('=');
            if (eq == std::string::npos) {
                c.fields.push_back(w);
            } else {
                c.named[w.substr(0, eq)] = w.substr(eq + 1);
            }
        }
        cases.push_back(c);
    }
    return cases;
}

}  // namespace globaro::testing
