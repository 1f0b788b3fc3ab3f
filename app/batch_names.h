#pragma once
// Naming the outputs of a batch render: one output pattern, expanded for
// every input, and the checks that keep two inputs from writing one file.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace globaro {

struct BatchItem {
    std::string input;
    std::string output;
};

// Expands an output pattern for the input at `index` (0-based) of `count`.
// Placeholders: {name} the input's file name without extension, {ext} its
// extension without the dot, {dir} its folder ("." when it has none) and
// {index} its position counted from 1, zero-padded to the width of `count`.
// Returns nothing, with a one-line reason, for an unknown or unclosed
// placeholder or an empty result.
std::optional<std::string> expandOutputPattern(const std::string& pattern, const std::string& input, std::size_t index,
                                               std::size_t count, std::string& error);

// The file a path names, for comparing paths: absolute, normalised, and
// with symbolic links of the existing part resolved.
std::string identity(const std::string& path);

// Plans a batch: the output of every input. Refuses (false, one-line reason)
// a bad pattern, two inputs that would write the same file, and an output
// that would overwrite another input of the batch.
bool planBatch(const std::vector<std::string>& inputs, const std::string& pattern, std::vector<BatchItem>& items,
               std::string& error);

}  // namespace globaro
