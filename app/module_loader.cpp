#include "app/module_loader.h"

#include <dlfcn.h>
#include <elf.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <utility>

namespace globaro {

namespace {

constexpr ResType kKind = GLOBARO_FOURCC('k', 'i', 'n', 'd');
constexpr ResType kFilterKind = GLOBARO_FOURCC('8', 'B', 'F', 'M');
constexpr ResType kEntry64 = GLOBARO_FOURCC('8', '6', '6', '4');
constexpr ResType kEnable = GLOBARO_FOURCC('e', 'n', 'b', 'l');
constexpr ResType kModes = GLOBARO_FOURCC('m', 'o', 'd', 'e');

// Module files larger than this are refused unread.
constexpr std::uintmax_t kMaxModuleFileBytes = std::uintmax_t{1} << 30;

// Property-list words are in the module's native (little-endian) order.
std::uint32_t word(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

struct ModeName {
    const char* name;
    int mode;
};

// The image-mode names of enable conditions, with their mode numbers.
constexpr ModeName kModeNames[] = {
    {"BitmapMode", plugInModeBitmap},
    {"GrayScaleMode", plugInModeGrayScale},
    {"IndexedMode", plugInModeIndexedColor},
    {"RGBMode", plugInModeRGBColor},
    {"CMYKMode", plugInModeCMYKColor},
    {"HSLMode", plugInModeHSLColor},
    {"HSBMode", plugInModeHSBColor},
    {"MultichannelMode", plugInModeMultichannel},
    {"DuotoneMode", plugInModeDuotone},
    {"LabMode", plugInModeLabColor},
    {"Gray16Mode", plugInModeGray16},
    {"RGB48Mode", plugInModeRGB48},
    {"Lab48Mode", plugInModeLab48},
    {"CMYK64Mode", plugInModeCMYK64},
    {"DeepMultichannelMode", plugInModeDeepMultichannel},
    {"Duotone16Mode", plugInModeDuotone16},
    {"RGB96Mode", plugInModeRGB96},
    {"Gray32Mode", plugInModeGray32},
};

// A small recursive-descent evaluator of enable conditions.
class ConditionParser {
public:
    ConditionParser(const std::string& text, int imageMode) : text_(text), mode_(imageMode) {}

    bool parse(bool& value, std::string& error) {
        try {
            value = orExpression();
            skipSpace();
            if (pos_ != text_.size()) fail("unexpected text");
        } catch (const std::string& message) {
            error = message + " at character " + std::to_string(pos_ + 1) + " of the enable condition";
            return false;
        }
        return true;
    }

private:
    [[noreturn]] void fail(const std::string& message) { throw message; }

    void skipSpace() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    bool accept(const char* token) {
        skipSpace();
        const std::size_t n = std::strlen(token);
        if (text_.compare(pos_, n, token) == 0) {
            pos_ += n;
            return true;
        }
        return false;
    }
    void expect(const char* token) {
        if (!accept(token)) fail(std::string("expected '") + token + "'");
    }
    std::string identifier() {
        skipSpace();
        const std::size_t start = pos_;
        while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
            ++pos_;
        if (start == pos_) fail("expected a name");
        return text_.substr(start, pos_ - start);
    }
    int value() {
        const std::string name = identifier();
        if (name == "PSHOP_ImageMode") return mode_;
        for (const ModeName& m : kModeNames)
            if (name == m.name) return m.mode;
        fail("unknown name '" + name + "'");
    }
    bool orExpression() {
        bool v = andExpression();
        while (accept("||")) v = andExpression() || v;
        return v;
    }
    bool andExpression() {
        bool v = primary();
        while (accept("&&")) v = primary() && v;
        return v;
    }
    bool primary() {
        // The condition comes from the module file: nesting is bounded so
        // that a hostile one cannot run the stack out.
        if (depth_ >= kMaxNesting) fail("the condition is nested too deeply");
        if (accept("(")) {
            ++depth_;
            const bool v = orExpression();
            --depth_;
            expect(")");
            return v;
        }
        if (accept("!")) {
            ++depth_;
            const bool v = !primary();
            --depth_;
            return v;
        }
        skipSpace();
        if (text_.compare(pos_, 2, "in") == 0 && pos_ + 2 < text_.size() &&
            (text_[pos_ + 2] == ' ' || text_[pos_ + 2] == '(')) {
            pos_ += 2;
            expect("(");
            const int subject = value();
            bool found = false;
            while (accept(",")) found = (value() == subject) || found;
            expect(")");
            return found;
        }
        const int left = value();
        if (accept("==")) return left == value();
        if (accept("!=")) return left != value();
        fail("expected a comparison");
    }

    static constexpr int kMaxNesting = 64;

    const std::string& text_;
    int mode_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

}  // namespace

const char* imageModeName(int imageMode) {
    for (const ModeName& m : kModeNames)
        if (m.mode == imageMode) return m.name;
    return "UnknownMode";
}

const PluginProperty* PropertyList::find(ResType key) const {
    for (const PluginProperty& p : properties)
        if (p.key == key) return &p;
    return nullptr;
}

std::string PropertyList::pascalString(ResType key) const {
    const PluginProperty* p = find(key);
    if (p == nullptr || p->data.empty()) return {};
    const std::size_t n = std::min<std::size_t>(p->data[0], p->data.size() - 1);
    return std::string(reinterpret_cast<const char*>(p->data.data() + 1), n);
}

std::string PropertyList::cString(ResType key) const {
    const PluginProperty* p = find(key);
    // An empty property has no bytes to point at (strnlen must not see null).
    if (p == nullptr || p->data.empty()) return {};
    const auto* begin = reinterpret_cast<const char*>(p->data.data());
    return std::string(begin, strnlen(begin, p->data.size()));
}

bool parsePropertyList(std::span<const std::uint8_t> bytes, PropertyList& list, std::string& error) {
    list.properties.clear();
    if (bytes.size() < 8) {
        error = "property list is shorter than its header";
        return false;
    }
    const std::uint32_t count = word(bytes, 4);
    std::size_t at = 8;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (bytes.size() - at < 16) {
            error = "property " + std::to_string(i + 1) + " of " + std::to_string(count) + " is cut short";
            return false;
        }
        PluginProperty p;
        p.vendor = word(bytes, at);
        p.key = word(bytes, at + 4);
        p.id = static_cast<std::int32_t>(word(bytes, at + 8));
        const std::uint32_t length = word(bytes, at + 12);
        at += 16;
        if (length > bytes.size() - at) {
            error = "property " + std::to_string(i + 1) + " claims " + std::to_string(length) +
                    " bytes, more than the list holds";
            return false;
        }
        p.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
        list.properties.push_back(std::move(p));
    }
    return true;
}

bool readElfSection(const std::string& path, const std::string& section, std::vector<std::uint8_t>& bytes,
                    std::string& error) {
    // Only a regular file of a plausible size is read whole: a device such as
    // /dev/zero would never end, and opening a FIFO would block.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        error = "\"" + path + "\" is not a regular file, so not a filter module";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open \"" + path + "\"";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxModuleFileBytes) {
        error = "\"" + path + "\" is too large to be a filter module";
        return false;
    }
    // The header, the section table, the table of section names and the one
    // section are read where they lie: a module with its debugging sections
    // runs to tens of megabytes, and the program reads its own at every
    // start. Every place and length is checked against the file's size
    // before it is read or allocated.
    auto within = [&](std::uint64_t at, std::uint64_t length) { return at <= size && size - at >= length; };
    auto readWithin = [&](std::uint64_t at, void* out, std::uint64_t length) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(at));
        in.read(static_cast<char*>(out), static_cast<std::streamsize>(length));
        return in.gcount() == static_cast<std::streamsize>(length);
    };
    auto readAt = [&](std::uint64_t at, void* out, std::uint64_t length) {
        return within(at, length) && readWithin(at, out, length);
    };
    // A block of the file into `out`, which grows only once the block is
    // known to lie within the file.
    auto readBlock = [&](std::uint64_t at, std::uint64_t length, auto& out) {
        if (!within(at, length)) return false;
        out.resize(static_cast<std::size_t>(length));
        return readWithin(at, out.data(), length);
    };
    Elf64_Ehdr header;
    if (!readAt(0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64) {
        error = "\"" + path + "\" is not a 64-bit ELF module";
        return false;
    }
    // The section table in one read, as far as it lies within the file.
    const std::uint64_t step = header.e_shentsize;
    std::uint64_t count = 0;
    std::vector<std::uint8_t> table;
    if (step >= sizeof(Elf64_Shdr) && header.e_shoff <= size) {
        count = std::min<std::uint64_t>(header.e_shnum, (size - header.e_shoff) / step);
        if (!readBlock(header.e_shoff, count * step, table)) count = 0;
    }
    auto sectionHeader = [&](std::size_t index, Elf64_Shdr& out) {
        if (index >= count) return false;
        std::memcpy(&out, table.data() + index * step, sizeof out);
        return true;
    };
    Elf64_Shdr names;
    std::vector<char> nameTable;
    if (header.e_shstrndx >= header.e_shnum || !sectionHeader(header.e_shstrndx, names) ||
        !readBlock(names.sh_offset, names.sh_size, nameTable)) {
        error = "\"" + path + "\" has a damaged section table";
        return false;
    }
    for (std::size_t i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr s;
        if (!sectionHeader(i, s)) break;
        if (s.sh_name >= names.sh_size) continue;
        const char* name = nameTable.data() + s.sh_name;
        if (strnlen(name, names.sh_size - s.sh_name) == section.size() &&
            section == std::string_view(name, section.size())) {
            if (!readBlock(s.sh_offset, s.sh_size, bytes)) {
                bytes.clear();
                error = "section " + section + " of \"" + path + "\" lies outside the file";
                return false;
            }
            return true;
        }
    }
    error = "\"" + path + "\" has no " + section + " section: it is not a filter module";
    return false;
}

bool evaluateEnableCondition(const std::string& condition, int imageMode, bool& enabled, std::string& error) {
    ConditionParser parser(condition, imageMode);
    return parser.parse(enabled, error);
}

bool moduleAcceptsImageMode(const PropertyList& list, int imageMode, std::string& why) {
    if (list.find(kEnable) != nullptr) {
        bool enabled = false;
        std::string error;
        if (!evaluateEnableCondition(list.cString(kEnable), imageMode, enabled, error)) {
            why = error;
            return false;
        }
        if (!enabled) why = std::string("the filter does not accept ") + imageModeName(imageMode) + " images";
        return enabled;
    }
    const PluginProperty* modes = list.find(kModes);
    if (modes == nullptr || modes->data.size() < 2 || imageMode < 0 || imageMode > 15) {
        why = "the filter names no image modes it accepts";
        return false;
    }
    const unsigned flags = static_cast<unsigned>(modes->data[0]) << 8 | modes->data[1];
    const bool enabled = (flags & (0x8000u >> imageMode)) != 0;
    if (!enabled) why = std::string("the filter does not accept ") + imageModeName(imageMode) + " images";
    return enabled;
}

LoadedModule::LoadedModule(LoadedModule&& other) noexcept
    : library(std::exchange(other.library, nullptr)),
      entry(std::exchange(other.entry, nullptr)),
      properties(std::move(other.properties)),
      path(std::move(other.path)) {}

LoadedModule& LoadedModule::operator=(LoadedModule&& other) noexcept {
    if (this != &other) {
        if (library != nullptr) dlclose(library);
        library = std::exchange(other.library, nullptr);
        entry = std::exchange(other.entry, nullptr);
        properties = std::move(other.properties);
        path = std::move(other.path);
    }
    return *this;
}

LoadedModule::~LoadedModule() {
    if (library != nullptr) dlclose(library);
}

bool loadModule(const std::string& path, LoadedModule& module, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!readElfSection(path, ".pipl", bytes, error)) return false;
    PropertyList list;
    if (!parsePropertyList(bytes, list, error)) {
        error = "\"" + path + "\": " + error;
        return false;
    }
    const PluginProperty* kind = list.find(kKind);
    if (kind == nullptr || kind->data.size() < 4 || word(kind->data, 0) != kFilterKind) {
        error = "\"" + path + "\" is not a filter module";
        return false;
    }
    const std::string entryName = list.cString(kEntry64);
    if (entryName.empty()) {
        error = "\"" + path + "\" names no entry point";
        return false;
    }
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        error = "cannot load \"" + path + "\": " + (why != nullptr ? why : "unknown reason");
        return false;
    }
    void* symbol = dlsym(library, entryName.c_str());
    if (symbol == nullptr) {
        dlclose(library);
        error = "\"" + path + "\" does not export " + entryName;
        return false;
    }
    LoadedModule loaded;
    loaded.library = library;
    loaded.entry = reinterpret_cast<PluginMainProc>(symbol);
    loaded.properties = std::move(list);
    loaded.path = path;
    module = std::move(loaded);
    return true;
}

std::string defaultModulePath() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "Globaro2.so";
    return (self.parent_path() / "Globaro2.so").string();
}

}  // namespace globaro
