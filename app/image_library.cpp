// Which codec serves a file, and the image library loaded on demand.

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string_view>

#include "app/image_codec.h"

namespace globaro {

namespace {

constexpr const char* kLibraryFile = "globaro_oiio.so";

// The image library, loaded once on first need and kept until the program
// ends; null, with the reason, when it cannot be loaded.
const ImageLibrary* imageLibrary(std::string& error) {
    static std::once_flag once;
    static const ImageLibrary* library = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        std::error_code ec;
        const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
        const std::string path = ec ? std::string(kLibraryFile) : (self.parent_path() / kLibraryFile).string();
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = dlerror();
            failure = "the image library \"" + path + "\" cannot be loaded" + (why ? std::string(": ") + why : "");
            return;
        }
        using Entry = const ImageLibrary* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(handle, kImageLibraryEntry));
        const ImageLibrary* found = entry != nullptr ? entry() : nullptr;
        if (found == nullptr || found->version != kImageLibraryVersion) {
            failure = "the image library \"" + path + "\" is not the one this program was built with";
            return;
        }
        library = found;
    });
    if (library == nullptr) error = failure;
    return library;
}

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

// The formats the program reads and writes itself, one row each: its name
// for the program and for the user, the file name endings that ask for it,
// the first bytes that show it, and its reader and writer. Every other
// format goes to the image library.
struct NativeCodec {
    const char* format;
    const char* title;
    std::array<std::string_view, 4> extensions;  // unused places empty
    std::array<std::string_view, 4> magics;      // unused places empty
    std::unique_ptr<ImageDecoder> (*open)(const std::string&, ImageFileHeader&, std::string&);
    std::unique_ptr<ImageEncoder> (*create)(ByteSink&, const std::string&, const ImageEncoding&, std::string&);
};

using namespace std::string_view_literals;
const NativeCodec kNativeCodecs[] = {
    {"jpeg", "JPEG", {".jpg", ".jpeg", ".jpe", ".jfif"}, {"\xff\xd8\xff"sv}, openJpegFile, createJpegFile},
    {"png", "PNG", {".png"}, {"\x89PNG\r\n\x1a\n"sv}, openPngFile, createPngFile},
    // Classic TIFF and BigTIFF, in either byte order.
    {"tiff", "TIFF", {".tif", ".tiff"}, {"II*\0"sv, "MM\0*"sv, "II+\0"sv, "MM\0+"sv}, openTiffFile, createTiffFile},
};

// "JPEG, PNG and TIFF": the formats the program handles without the library.
std::string nativeTitles() {
    std::string list;
    const std::size_t n = std::size(kNativeCodecs);
    for (std::size_t i = 0; i < n; ++i)
        list += (i == 0 ? "" : i + 1 == n ? " and " : ", ") + std::string(kNativeCodecs[i].title);
    return list;
}

}  // namespace

std::string imageFormatFor(const std::string& path) {
    const std::string ext = lowerExtension(path);
    for (const NativeCodec& codec : kNativeCodecs)
        for (const std::string_view e : codec.extensions)
            if (!e.empty() && ext == e) return codec.format;
    std::string error;
    const ImageLibrary* library = imageLibrary(error);
    return library != nullptr ? library->formatFor(path) : std::string();
}

std::unique_ptr<ImageDecoder> openImageFile(const std::string& path, ImageFileHeader& header, std::string& error) {
    char magic[8] = {};
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        const std::size_t n = std::fread(magic, 1, sizeof magic, f);
        std::fclose(f);
        const std::string_view start(magic, n);
        for (const NativeCodec& codec : kNativeCodecs) {
            if (std::none_of(codec.magics.begin(), codec.magics.end(),
                             [&](std::string_view m) { return !m.empty() && start.starts_with(m); }))
                continue;
            error.clear();
            std::unique_ptr<ImageDecoder> native = codec.open(path, header, error);
            if (native || !error.empty()) return native;
            break;
        }
    }
    std::string why;
    const ImageLibrary* library = imageLibrary(why);
    if (library == nullptr) {
        error = "cannot read \"" + path + "\": only " + nativeTitles() + " files can be read: " + why;
        return nullptr;
    }
    header = ImageFileHeader{};
    return std::unique_ptr<ImageDecoder>(library->open(path, header, error));
}

std::unique_ptr<ImageEncoder> createImageFile(ByteSink& sink, const std::string& path, const ImageEncoding& encoding,
                                              std::string& error) {
    for (const NativeCodec& codec : kNativeCodecs)
        if (encoding.format == codec.format) return codec.create(sink, path, encoding, error);
    std::string why;
    const ImageLibrary* library = imageLibrary(why);
    if (library == nullptr) {
        error = "cannot write \"" + path + "\": only " + nativeTitles() + " files can be written: " + why;
        return nullptr;
    }
    return std::unique_ptr<ImageEncoder>(library->create(sink, path, encoding, error));
}

}  // namespace globaro
