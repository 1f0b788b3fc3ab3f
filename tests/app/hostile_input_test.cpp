// Hostile input for the standalone host's readers: recorded action files,
// the module property list, ELF sections of module files and image files.
// Seeded random mutations of files made by our own writers; every case must
// end in a clear one-line error or a sound result.

#include <elf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/descriptor_store.h"
#include "app/image_io.h"
#include "app/module_loader.h"
#include "host/plugin_properties.h"
#include "settings/hostile_mutator.h"

namespace globaro {
namespace {

using hostile::Mutator;

constexpr std::uint32_t K4(const char* s) { return GLOBARO_FOURCC(s[0], s[1], s[2], s[3]); }
constexpr std::uint32_t K(const char (&s)[5]) { return K4(s); }

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "globaro_hostile_" + name; }

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> bytes(in ? static_cast<std::size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

bool oneLine(const std::string& s) { return !s.empty() && s.find('\n') == std::string::npos; }

// ---- Recorded action files --------------------------------------------------------

RecordedAction sampleAction(int variant) {
    using T = DescriptorValueType;
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    RecordedAction a;
    a.playInfo = static_cast<std::int16_t>(variant % 3);
    auto inner = std::make_shared<RecordedDescriptor>();
    inner->put(K("Kin1"), DescriptorValue::makeInteger(5));
    DescriptorSimpleReference ref{};
    ref.desiredClass = K("Lyr ");
    ref.keyForm = K("name");
    std::memcpy(ref.keyData.name, "\3abc", 4);
    ref.keyData.index = -7;
    const std::pair<const char*, DescriptorValue> items[] = {
        {"0026", DescriptorValue::makeInteger(640 + variant)},
        {"Klat", DescriptorValue::makeFloat(variant == 1 ? nan : 12.5)},
        {"Kinf", DescriptorValue::makeFloat(-inf)},
        {"Kflp", DescriptorValue::makeBoolean(variant % 2 == 0)},
        {"Koky", DescriptorValue::makeEnumerated(K("Koty"), K("Kp##"))},
        {"Ktxt", DescriptorValue::makeText(variant == 2 ? std::string("a\x01\xff", 3) : "hello")},
        {"\1\2\3\4", DescriptorValue::makeInteger(std::numeric_limits<std::int32_t>::min())},
        {"Kunt", {.type = T::kUnitFloat, .number = 1e300, .unit = K("#Ang"), .bytes = {}, .object = {}}},
        {"Kcnt", {.type = T::kCount, .bytes = {}, .count = 0xFFFFFFFFu, .object = {}}},
        {"Kcls", {.type = T::kClass, .bytes = {}, .classId = K("Clss"), .object = {}}},
        {"Kref", {.type = T::kSimpleReference, .bytes = {}, .reference = ref, .object = {}}},
        {"Kobj", {.type = T::kObject, .bytes = {}, .classId = K("Objc"), .object = inner}},
    };
    for (const auto& [key, value] : items) a.descriptor.put(K4(key), value);
    return a;
}

bool refusedInOneLine(const std::string& text) {
    RecordedAction action = sampleAction(0);
    const std::string before = actionToJson(action);
    std::string error;
    const bool taken = actionFromJson(text, action, error);
    if (!taken) {
        EXPECT_TRUE(oneLine(error)) << error;
        EXPECT_EQ(actionToJson(action), before) << "a refused document changed the action";
    }
    return !taken;
}

TEST(HostileActionFile, DeepHugeAndBrokenDocumentsAreRefusedInOneLine) {
    const std::string head = "{\"format\": \"Globaro 2 action\", \"version\": 1, \"descriptor\": ";
    std::vector<std::string> documents = {
        "", std::string("\0\xff\xfe{", 4),
        head + R"([{"key":"Ktxt","type":"text","value":")" + std::string(2u << 20, 'x') + "\"}]}"};
    for (std::size_t depth : {1000u, 100000u}) {
        const std::string arrays = std::string(depth, '[') + std::string(depth, ']');
        std::string objects;
        for (std::size_t i = 0; i < depth; ++i) objects += "{\"a\":";
        documents.insert(documents.end(),
                         {arrays, head + arrays + "}", head + objects + "1" + std::string(depth, '}') + "}",
                          head + std::string(depth, '[')});
    }
    std::string items = "[";
    for (int i = 0; i < 5000; ++i) items += std::string(i ? "," : "") + R"({"key":"Kabc","type":"integer","value":1})";
    documents.push_back(head + items + "]}");
    for (const std::string& d : documents) EXPECT_TRUE(refusedInOneLine(d)) << d.substr(0, 80);
    // Objects inside objects, deeper than the reader allows.
    std::string nested = "[]";
    for (int i = 0; i < 40; ++i)
        nested = R"([{"key": "Kobj", "type": "object", "class": "Objc", "value": )" + nested + "}]";
    RecordedAction action;
    std::string error;
    EXPECT_FALSE(actionFromJson(head + nested + "}", action, error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos) << error;
    // Every field of every type at and beyond every edge: refused in one
    // line, or taken.
    const char* types[] = {"integer", "float",     "unitFloat", "boolean", "text",     "alias", "enumerated",
                           "class",   "reference", "object",    "count",   "nonsense", ""};
    std::istringstream values(R"(1e400 -1e400 18446744073709551616 18446744073709551615 -9223372036854775809
        2147483648 -2147483649 4294967296 1.5 -0 null true "NaN" "nan" [] {} "" "abcde" "\u0000\u0000\u0000\u0000")");
    for (std::string v; values >> v;)
        for (const char* type : types) {
            std::string doc = head + "[{\"type\":\"" + type + "\"";
            for (const char* field :
                 {"key", "value", "unit", "enumType", "class", "form", "name", "index", "keyType", "enum"})
                doc += std::string(",\"") + field + "\":" + v;
            (void)refusedInOneLine(doc + "}], \"playInfo\": " + v + "}");
        }
}

// ---- The property list ----------------------------------------------------------

std::vector<std::uint8_t> propertyList(const std::vector<std::pair<ResType, std::vector<std::uint8_t>>>& props) {
    std::vector<std::uint8_t> b;
    auto word = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    word(0);
    word(static_cast<std::uint32_t>(props.size()));
    for (const auto& [key, data] : props) {
        word(K("8BIM"));
        word(key);
        word(0);
        word(static_cast<std::uint32_t>(data.size()));
        b.insert(b.end(), data.begin(), data.end());
    }
    return b;
}

// Everything a host asks of a property list.
void exercise(const PropertyList& list) {
    for (ResType key : {K("name"), K("catg"), K("8664"), K("enbl"), K("kind"), K("mode")}) {
        (void)list.find(key);
        (void)list.pascalString(key);
        (void)list.cString(key);
    }
    for (int mode = -1; mode <= 20; ++mode) {
        std::string why;
        if (!moduleAcceptsImageMode(list, mode, why)) {
            EXPECT_TRUE(oneLine(why)) << why;
        }
    }
}

// Regression: the enable condition comes from the module file; deep nesting
// must be refused, not recursed into until the stack runs out.
TEST(HostileEnableCondition, DeepNestingIsRefused) {
    bool enabled = true;
    std::string error;
    for (std::size_t n : {10000u, 200000u})
        for (const std::string& c : {std::string(n, '('), std::string(n, '!'),
                                     std::string(n, '(') + "PSHOP_ImageMode == RGBMode" + std::string(n, ')')}) {
            EXPECT_FALSE(evaluateEnableCondition(c, plugInModeRGBColor, enabled, error));
            EXPECT_TRUE(oneLine(error));
        }
    const std::string modest = std::string(20, '(') + "!!PSHOP_ImageMode == RGBMode" + std::string(20, ')');
    ASSERT_TRUE(evaluateEnableCondition(modest, plugInModeRGBColor, enabled, error)) << error;
    EXPECT_TRUE(enabled);
}

// ---- ELF sections of module files ---------------------------------------------------

// A compact copy of the built module: its ELF header, section name table,
// ".pipl" section and section header table, with the other sections emptied.
// The reader finds the same ".pipl" bytes in it as in the module.
std::vector<std::uint8_t> compactModule(const std::vector<std::uint8_t>& module) {
    Elf64_Ehdr h;
    std::memcpy(&h, module.data(), sizeof h);
    std::vector<Elf64_Shdr> sections(h.e_shnum);
    for (std::size_t i = 0; i < sections.size(); ++i)
        std::memcpy(&sections[i], module.data() + h.e_shoff + i * h.e_shentsize, sizeof(Elf64_Shdr));
    const Elf64_Shdr names = sections[h.e_shstrndx];
    std::vector<std::uint8_t> out(sizeof h);
    auto append = [&](Elf64_Shdr& s) {
        const std::size_t at = out.size();
        out.insert(out.end(), module.begin() + std::ptrdiff_t(s.sh_offset),
                   module.begin() + std::ptrdiff_t(s.sh_offset + s.sh_size));
        s.sh_offset = at;
    };
    for (std::size_t i = 0; i < sections.size(); ++i) {
        Elf64_Shdr& s = sections[i];
        const char* name = reinterpret_cast<const char*>(module.data() + names.sh_offset + s.sh_name);
        if (i == h.e_shstrndx || std::strcmp(name, kPropertySectionName) == 0) {
            append(s);
        } else {
            s.sh_offset = 0;
            s.sh_size = 0;
        }
    }
    while (out.size() % 8 != 0) out.push_back(0);
    h.e_phoff = 0;
    h.e_phnum = 0;
    h.e_shoff = out.size();
    h.e_shentsize = sizeof(Elf64_Shdr);
    std::memcpy(out.data(), &h, sizeof h);
    for (const Elf64_Shdr& s : sections) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&s);
        out.insert(out.end(), p, p + sizeof s);
    }
    return out;
}

template <typename Word>
void put(std::vector<std::uint8_t>& b, std::size_t at, Word v) {
    if (at + sizeof v <= b.size()) std::memcpy(b.data() + at, &v, sizeof v);
}

// A change aimed at the parts the reader trusts: header fields, section
// headers and the section name table.
void mutateElf(Mutator& m, std::vector<std::uint8_t>& b, std::uint64_t shoff, std::size_t shnum) {
    const std::uint64_t size = b.size(), top = ~0ull;
    const std::uint64_t extremes[] = {0,       1,           63,  64,       size - 1,  size,           size + 1,
                                      top / 2, top / 2 + 1, top, top - 63, 0 - shoff, 0 - shoff + 64, 0xFFFFFFFFull,
                                      shoff};
    const std::uint64_t v = extremes[m.below(std::size(extremes))];
    const std::uint16_t half = static_cast<std::uint16_t>(m.chance(50) ? v : m.raw());
    const std::size_t headerFields[] = {offsetof(Elf64_Ehdr, e_shnum), offsetof(Elf64_Ehdr, e_shstrndx),
                                        offsetof(Elf64_Ehdr, e_shentsize)};
    const std::size_t sectionFields[] = {offsetof(Elf64_Shdr, sh_name), offsetof(Elf64_Shdr, sh_offset),
                                         offsetof(Elf64_Shdr, sh_size)};
    const std::size_t what = m.below(6);
    if (what == 0) {
        put(b, offsetof(Elf64_Ehdr, e_shoff), v);
    } else if (what < 4) {
        put(b, headerFields[what - 1], half);
    } else {  // a field of a section header
        const std::size_t field = sectionFields[m.below(3)];
        const std::size_t at = shoff + m.below(shnum + 1) * sizeof(Elf64_Shdr) + field;
        if (field == offsetof(Elf64_Shdr, sh_name))
            put(b, at, static_cast<std::uint32_t>(v));
        else
            put(b, at, v);
    }
}

// One to three changes, most of them aimed at the ELF structure.
std::vector<std::uint8_t> mutatedModule(Mutator& m, const std::vector<std::vector<std::uint8_t>>& samples) {
    std::vector<std::uint8_t> b = samples[0];
    Elf64_Ehdr h;
    std::memcpy(&h, b.data(), sizeof h);
    for (std::size_t c = 1 + m.below(3); c > 0; --c) {
        if (m.chance(60))
            mutateElf(m, b, h.e_shoff, h.e_shnum);
        else
            m.mutateOnce(b, samples);
    }
    return b;
}

// The property section and the section name table of the file.
bool readModule(const std::vector<std::uint8_t>& b, std::string& error) {
    const std::string path = tempPath("module.so");
    writeFile(path, b);
    std::vector<std::uint8_t> bytes;
    if (readElfSection(path, ".shstrtab", bytes, error))
        EXPECT_LE(bytes.size(), b.size());
    else
        EXPECT_TRUE(oneLine(error)) << error;
    bytes.clear();
    error.clear();
    if (!readElfSection(path, kPropertySectionName, bytes, error)) return false;
    EXPECT_LE(bytes.size(), b.size());
    PropertyList list;
    if (parsePropertyList(bytes, list, error)) exercise(list);
    return true;
}

// Regression: the reader took in any path whole, so a device that never ends
// (--module /dev/zero) grew without bound and a FIFO blocked the open.
TEST(HostileModuleFile, OnlyRegularFilesAreRead) {
    const std::string fifo = tempPath("module.fifo");
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, ::testing::TempDir()}) {
        std::vector<std::uint8_t> bytes;
        std::string error;
        EXPECT_FALSE(readElfSection(path, kPropertySectionName, bytes, error)) << path;
        EXPECT_TRUE(oneLine(error)) << error;
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    }
    std::filesystem::remove(fifo);
}

// ---- Seeded mutations of what our own writers make, for every reader ---------

// A reader: true when it took the bytes (and checked what it made of them),
// false with `error` set when it refused them.
using Reader = std::function<bool(const std::vector<std::uint8_t>&, std::string& error)>;

bool readAction(const std::vector<std::uint8_t>& bytes, std::string& error) {
    RecordedAction action = sampleAction(1);
    const std::string before = actionToJson(action);
    if (!actionFromJson(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), action, error)) {
        EXPECT_EQ(actionToJson(action), before) << "a refused document changed the action";
        return false;
    }
    const std::string again = actionToJson(action);  // what was read writes and reads back the same
    RecordedAction second;
    EXPECT_TRUE(actionFromJson(again, second, error)) << error;
    EXPECT_EQ(actionToJson(second), again);
    return true;
}

bool readPropertyList(const std::vector<std::uint8_t>& bytes, std::string& error) {
    PropertyList list;
    list.properties.resize(2);
    if (!parsePropertyList(bytes, list, error)) return false;
    std::size_t total = 8;
    for (const PluginProperty& p : list.properties) total += 16 + p.data.size();
    EXPECT_LE(total, bytes.size());
    exercise(list);
    return true;
}

bool readCondition(const std::vector<std::uint8_t>& b, std::string& error) {
    bool enabled = false;
    return evaluateEnableCondition(std::string(b.begin(), b.end()), plugInModeRGBColor, enabled, error);
}

// The file as an image and as a selection mask.
bool readImage(const std::string& extension, const std::vector<std::uint8_t>& bytes, std::string& error) {
    const std::string path = tempPath("mutated" + extension);
    writeFile(path, bytes);
    std::vector<std::uint8_t> mask;
    std::string maskError;
    if (loadMask(path, 19, 13, mask, maskError))
        EXPECT_EQ(mask.size(), 19u * 13u);
    else
        EXPECT_TRUE(oneLine(maskError)) << maskError;
    Document doc;
    doc.width = 3;  // must stay as it is when the read fails
    if (!loadDocument(path, doc, error)) {
        EXPECT_EQ(doc.width, 3);
        return false;
    }
    EXPECT_TRUE(doc.width >= 1 && doc.height >= 1 && (doc.colorPlanes == 1 || doc.colorPlanes == 3));
    EXPECT_EQ(doc.pixels.size(), doc.rowBytes() * static_cast<std::size_t>(doc.height));
    return true;
}

// A 19 x 13 picture saved by our own writer, and the reader of its format.
std::pair<std::vector<std::uint8_t>, Reader> saved(const std::string& extension, int planes, bool alpha, int depth) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, 19, 13, planes, alpha, depth, error)) << error;
    for (std::int32_t y = 0; y < d.height; ++y)
        for (std::int32_t x = 0; x < d.width; ++x)
            for (int p = 0; p < d.planes(); ++p) d.setValue(x, y, p, float((x * 7 + y * 3 + p * 5) % 17) / 16.0f);
    const std::string path = tempPath("valid" + extension);
    EXPECT_TRUE(saveDocument(path, d, 0, error)) << error;
    return {readFile(path), [extension](const auto& b, std::string& e) { return readImage(extension, b, e); }};
}

TEST(Hostile, MutatedInputIsTakenSoundlyOrRefusedInOneLine) {
    const std::span<const std::uint8_t> pipl = pluginPropertyBytes();
    struct Fuzz {
        std::string what;
        std::uint32_t seed;
        std::size_t cases, leastTaken, leastRefused;
        std::vector<std::vector<std::uint8_t>> samples;
        Reader read;
        bool elf = false;
    };
    std::vector<std::uint8_t> fromModule, fromCompact;
    std::string error;
    const std::vector<std::uint8_t> compact = compactModule(readFile(GLOBARO_MODULE_PATH));
    writeFile(tempPath("compact.so"), compact);
    ASSERT_TRUE(readElfSection(GLOBARO_MODULE_PATH, kPropertySectionName, fromModule, error)) << error;
    ASSERT_TRUE(readElfSection(tempPath("compact.so"), kPropertySectionName, fromCompact, error)) << error;
    ASSERT_EQ(fromCompact, fromModule);
    std::vector<Fuzz> table = {
        {"module file", 0xE1F64u, 700, 100, 0, {compact}, readModule, true},
        {"action file", 0xAC710Au, 2000, 10, 300, {}, readAction},
        {"property list", 0x91B1u, 4000, 100, 0, {{pipl.begin(), pipl.end()}}, readPropertyList},
        {"enable condition", 0xE4B1u, 3000, 0, 0, {bytesOf(kEnableCondition)}, readCondition},
    };
    for (int v = 0; v < 3; ++v) table[1].samples.push_back(bytesOf(actionToJson(sampleAction(v))));
    table[2].samples.push_back(propertyList(
        {{K("kind"), bytesOf("MFB8")}, {K("name"), {}}, {K("enbl"), {}}, {K("8664"), {}}, {K("mode"), {0xFF}}}));
    table[2].samples.push_back(
        propertyList({{K("enbl"), bytesOf("!(PSHOP_ImageMode == RGBMode) || (in (PSHOP_ImageMode, Gray16Mode))")},
                      {K("name"), {200, 'a', 'b'}}}));
    const std::tuple<const char*, int, bool, int> pictures[] = {{".png", 3, true, 8},   {".png", 1, false, 16},
                                                                {".tif", 3, false, 8},  {".tif", 1, true, 16},
                                                                {".tif", 3, false, 32}, {".jpg", 3, false, 8}};
    for (const auto& [extension, planes, alpha, depth] : pictures) {
        auto [sample, reader] = saved(extension, planes, alpha, depth);
        table.push_back(
            {extension + std::to_string(depth), 0x1A6Eu + unsigned(table.size()), 70, 0, 0, {sample}, reader});
    }
    std::size_t picturesTaken = 0;
    for (const Fuzz& f : table) {
        Mutator m(f.seed);
        std::size_t taken = 0, refused = 0;
        for (std::size_t n = 0; n < f.cases; ++n) {
            SCOPED_TRACE(f.what + ", case " + std::to_string(n));
            error.clear();
            if (f.read(f.elf ? mutatedModule(m, f.samples) : m.mutate(f.samples), error)) {
                ++taken;
            } else {
                ++refused;
                ASSERT_TRUE(oneLine(error)) << error;
            }
            if (HasFailure()) return;
        }
        EXPECT_GE(taken, f.leastTaken) << f.what;
        EXPECT_GE(refused, f.leastRefused) << f.what;
        if (f.what[0] == '.') picturesTaken += taken;
    }
    EXPECT_GT(picturesTaken, 0u);
}

}  // namespace
}  // namespace globaro
