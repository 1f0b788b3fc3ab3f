#pragma once
// The paths of one render as the user gave them, and the files behind them:
// "-" reads the image from standard input or writes it to standard output
// (through a private temporary file, so that nothing reaches the stream
// unless the whole render succeeded), and an output that is the input itself
// is refused unless asked for.

#include <string>

namespace globaro {

// True when "-" stands for a standard stream.
inline bool isStandardStream(const std::string& path) { return path == "-"; }

// True when both paths name one existing file (the same device and inode,
// whatever the spelling, hard links included).
bool sameFile(const std::string& a, const std::string& b);

// Refuses an output that is the input (unless `force`): false with one line
// naming the user's path.
bool checkOutputIsNotInput(const std::string& input, const std::string& output, bool force, std::string& error);

// The files behind a render's INPUT and OUTPUT. prepare() copies standard
// input into a temporary file and names a temporary file for standard
// output; deliver() copies that file to standard output after a successful
// render. Temporary files are removed when the object goes.
class RenderPaths {
public:
    RenderPaths() = default;
    ~RenderPaths();
    RenderPaths(const RenderPaths&) = delete;
    RenderPaths& operator=(const RenderPaths&) = delete;

    // `format` is the file extension for a standard stream ("png", ".jpg");
    // output "-" needs it, input "-" uses it when given (the format is
    // otherwise recognised from the bytes). False with one line.
    bool prepare(const std::string& input, const std::string& output, const std::string& format, std::string& error);
    const std::string& inputFile() const { return inputFile_; }
    const std::string& outputFile() const { return outputFile_; }
    bool toStandardOutput() const { return !outputTemp_.empty(); }
    // Copies the rendered file to standard output (when that is the output).
    bool deliver(std::string& error);
    // A message about the files, in the user's words: the temporary files
    // named as the streams they stand for.
    std::string inUserTerms(std::string message) const;

private:
    std::string inputFile_, outputFile_;
    std::string inputTemp_, outputTemp_;
};

}  // namespace globaro
