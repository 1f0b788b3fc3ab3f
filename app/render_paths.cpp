#include "app/render_paths.h"

#include "app/image_codec.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace globaro {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStandardInput = "standard input";
constexpr const char* kStandardOutput = "standard output";

// A private folder for the temporary files of one render.
bool makePrivateFolder(std::string& folder, std::string& error) {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "globaro-stream-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a temporary folder in \"" + base.string() + "\": " + std::strerror(errno);
        return false;
    }
    folder = pattern;
    return true;
}

std::string extensionOf(const std::string& format) {
    return format.empty() || format.front() == '.' ? format : "." + format;
}

// Copies everything from `from` to `to`; false with the failing side's reason.
bool copyStream(std::FILE* from, std::FILE* to, std::string& error, const char* fromName, const char* toName) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), from);
        if (n > 0 && std::fwrite(buffer.data(), 1, n, to) != n) {
            error = std::string("cannot write ") + toName + ": " + std::strerror(errno);
            return false;
        }
        if (n < buffer.size()) break;
    }
    if (std::ferror(from)) {
        error = std::string("cannot read ") + fromName + ": " + std::strerror(errno);
        return false;
    }
    if (std::fflush(to) != 0) {
        error = std::string("cannot write ") + toName + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool checkOutputIsNotInput(const std::string& input, const std::string& output, bool force, std::string& error) {
    if (force || isStandardStream(input) || isStandardStream(output) || !sameFile(input, output)) return true;
    error = "\"" + output + "\" is the input image; give --force to write over it";
    return false;
}

RenderPaths::~RenderPaths() {
    std::error_code ec;
    for (const std::string* folder : {&inputTemp_, &outputTemp_})
        if (!folder->empty()) fs::remove_all(*folder, ec);
}

bool RenderPaths::prepare(const std::string& input, const std::string& output, const std::string& format,
                          std::string& error) {
    inputFile_ = input;
    outputFile_ = output;
    const std::string ext = extensionOf(format);
    if (isStandardStream(output)) {
        if (ext.empty()) {
            error = "the output \"-\" (standard output) needs --format EXT to say which kind of image to write";
            return false;
        }
        if (imageFormatFor("image" + ext).empty()) {
            error = "--format " + format + ": no image format is known by that name";
            return false;
        }
        if (!makePrivateFolder(outputTemp_, error)) return false;
        outputFile_ = (fs::path(outputTemp_) / ("image" + ext)).string();
    }
    if (isStandardStream(input)) {
        if (!makePrivateFolder(inputTemp_, error)) return false;
        // The reader recognises the format from the bytes when the name
        // gives none.
        inputFile_ = (fs::path(inputTemp_) / ("image" + ext)).string();
        std::FILE* file = std::fopen(inputFile_.c_str(), "wb");
        if (file == nullptr) {
            error =
                "cannot keep " + std::string(kStandardInput) + " in \"" + inputFile_ + "\": " + std::strerror(errno);
            return false;
        }
        const bool copied = copyStream(stdin, file, error, kStandardInput, "a temporary file");
        const bool closed = std::fclose(file) == 0;
        if (!copied) return false;
        if (!closed) {
            error = "cannot keep " + std::string(kStandardInput) + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool RenderPaths::deliver(std::string& error) {
    if (!toStandardOutput()) return true;
    std::FILE* file = std::fopen(outputFile_.c_str(), "rb");
    if (file == nullptr) {
        error = std::string("cannot write ") + kStandardOutput + ": the rendered image is gone";
        return false;
    }
    const bool ok = copyStream(file, stdout, error, "the rendered image", kStandardOutput);
    std::fclose(file);
    return ok;
}

std::string RenderPaths::inUserTerms(std::string message) const {
    if (!inputTemp_.empty()) {
        replaceAll(message, "\"" + inputFile_ + "\"", kStandardInput);
        replaceAll(message, inputTemp_, kStandardInput);
    }
    if (!outputTemp_.empty()) {
        replaceAll(message, "\"" + outputFile_ + "\"", kStandardOutput);
        replaceAll(message, outputTemp_, kStandardOutput);
    }
    return message;
}

}  // namespace globaro
