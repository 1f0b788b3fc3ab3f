#pragma once
// `globaro export KIND …`: every kind of export is a subcommand of `export`.
// Each family of writers adds its kinds with a function of its own (in its own
// file), which also says what runs each kind once the command line is parsed.

#include <functional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace globaro::cli {

struct ExportKind {
    CLI::App* command = nullptr;  // the `export KIND` subcommand
    std::function<int()> run;     // runs it; returns the exit status
};

// What the export kinds share with the rest of the command line: the filter
// module (its path is known only once the command line is parsed).
struct ExportContext {
    const std::string* modulePath = nullptr;
};

}  // namespace globaro::cli
