#include "app/batch_names.h"

#include <filesystem>
#include <map>
#include <string_view>

namespace globaro {
namespace {

namespace fs = std::filesystem;

}  // namespace

std::string identity(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec) p = fs::path(path);
    const fs::path resolved = fs::weakly_canonical(p, ec);
    return (ec ? p : resolved).lexically_normal().string();
}

std::optional<std::string> expandOutputPattern(const std::string& pattern, const std::string& input, std::size_t index,
                                               std::size_t count, std::string& error) {
    const fs::path path(input);
    std::string ext = path.extension().string();
    if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
    std::string dir = path.parent_path().string();
    if (dir.empty()) dir = ".";
    const std::size_t width = std::to_string(count == 0 ? 1 : count).size();
    const std::string digits = std::to_string(index + 1);
    std::string number(width > digits.size() ? width - digits.size() : 0, '0');
    number += digits;

    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern[i] != '{') {
            out += pattern[i++];
            continue;
        }
        const std::size_t close = pattern.find('}', i);
        if (close == std::string::npos) {
            error = "the output pattern \"" + pattern + "\" has a \"{\" without \"}\"";
            return std::nullopt;
        }
        const std::string_view key = std::string_view(pattern).substr(i + 1, close - i - 1);
        if (key == "name")
            out += path.stem().string();
        else if (key == "ext")
            out += ext;
        else if (key == "dir")
            out += dir;
        else if (key == "index")
            out += number;
        else {
            error = "unknown placeholder {" + std::string(key) + "} in the output pattern \"" + pattern +
                    "\" (use {name}, {ext}, {dir} or {index})";
            return std::nullopt;
        }
        i = close + 1;
    }
    if (out.empty()) {
        error = "the output pattern \"" + pattern + "\" gives an empty file name for \"" + input + "\"";
        return std::nullopt;
    }
    return out;
}

bool planBatch(const std::vector<std::string>& inputs, const std::string& pattern, std::vector<BatchItem>& items,
               std::string& error) {
    items.clear();
    std::map<std::string, std::size_t> inputOf;  // input file -> its position
    for (std::size_t i = 0; i < inputs.size(); ++i) inputOf.emplace(identity(inputs[i]), i);
    std::map<std::string, std::size_t> writer;  // target file -> the input writing it
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const auto output = expandOutputPattern(pattern, inputs[i], i, inputs.size(), error);
        if (!output) return false;
        const std::string target = identity(*output);
        if (const auto [it, fresh] = writer.emplace(target, i); !fresh) {
            error = "\"" + inputs[it->second] + "\" and \"" + inputs[i] + "\" would both write \"" + *output +
                    "\"; make the output pattern tell them apart (e.g. with {name}, {dir} or {index})";
            return false;
        }
        // Writing over its own input is the user's choice; over another's is not.
        if (const auto it = inputOf.find(target); it != inputOf.end() && target != identity(inputs[i])) {
            error = "the output of \"" + inputs[i] + "\" would overwrite the input \"" + inputs[it->second] + "\"";
            return false;
        }
        items.push_back({inputs[i], *output});
    }
    return true;
}

}  // namespace globaro
