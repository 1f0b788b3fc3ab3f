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
#include <string>
#include <vector>

#include "app/descriptor_store.h"
#include "app/image_io.h"
#include "app/module_loader.h"
#include "host/plugin_properties.h"
#include "settings/hostile_mutator.h"

namespace globaro {
namespace {

using hostile::Mutator;

constexpr std::uint32_t K(const char (&s)[5]) { return GLOBARO_FOURCC(s[0], s[1], s[2], s[3]); }

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

bool oneLine(const std::string& s) { return !s.empty() && s.find('\n') == std::string::npos; }

// ---- Recorded action files --------------------------------------------------------

RecordedAction sampleAction(int variant) {
    RecordedAction a;
    a.playInfo = static_cast<std::int16_t>(variant % 3);
    a.descriptor.put(K("0026"), DescriptorValue::makeInteger(640 + variant));
    a.descriptor.put(K("Klat"),
                     DescriptorValue::makeFloat(variant == 1 ? std::numeric_limits<double>::quiet_NaN() : 12.5));
    a.descriptor.put(K("Kinf"), DescriptorValue::makeFloat(-std::numeric_limits<double>::infinity()));
    a.descriptor.put(K("Kflp"), DescriptorValue::makeBoolean(variant % 2 == 0));
    a.descriptor.put(K("Koky"), DescriptorValue::makeEnumerated(K("Koty"), K("Kp##")));
    a.descriptor.put(K("Ktxt"), DescriptorValue::makeText(variant == 2 ? std::string("a\x01\xff", 3) : "hello"));
    a.descriptor.put(0x01020304u, DescriptorValue::makeInteger(std::numeric_limits<std::int32_t>::min()));
    DescriptorValue unit;
    unit.type = DescriptorValueType::kUnitFloat;
    unit.unit = K("#Ang");
    unit.number = 1e300;
    a.descriptor.put(K("Kunt"), unit);
    DescriptorValue count;
    count.type = DescriptorValueType::kCount;
    count.count = 0xFFFFFFFFu;
    a.descriptor.put(K("Kcnt"), count);
    DescriptorValue cls;
    cls.type = DescriptorValueType::kClass;
    cls.classId = K("Clss");
    a.descriptor.put(K("Kcls"), cls);
    DescriptorValue ref;
    ref.type = DescriptorValueType::kSimpleReference;
    ref.reference.desiredClass = K("Lyr ");
    ref.reference.keyForm = K("name");
    ref.reference.keyData.name[0] = 3;
    std::memcpy(ref.reference.keyData.name + 1, "abc", 3);
    ref.reference.keyData.index = -7;
    a.descriptor.put(K("Kref"), ref);
    auto inner = std::make_shared<RecordedDescriptor>();
    inner->put(K("Kin1"), DescriptorValue::makeInteger(5));
    DescriptorValue object;
    object.type = DescriptorValueType::kObject;
    object.classId = K("Objc");
    object.object = inner;
    a.descriptor.put(K("Kobj"), object);
    return a;
}

const char* kActionHeader = "{\"format\": \"Globaro 2 action\", \"version\": 1, \"descriptor\": ";

TEST(HostileActionFile, DeepNestingIsRefused) {
    RecordedAction action;
    std::string error;
    // Plain JSON nesting far beyond anything an action holds.
    for (std::size_t depth : {1000u, 100000u}) {
        const std::string arrays = std::string(depth, '[') + std::string(depth, ']');
        EXPECT_FALSE(actionFromJson(arrays, action, error));
        EXPECT_TRUE(oneLine(error)) << error;
        const std::string inDescriptor = kActionHeader + arrays + "}";
        EXPECT_FALSE(actionFromJson(inDescriptor, action, error));
        EXPECT_TRUE(oneLine(error)) << error;
        std::string objects;
        for (std::size_t i = 0; i < depth; ++i) objects += "{\"a\":";
        objects += "1" + std::string(depth, '}');
        EXPECT_FALSE(actionFromJson(kActionHeader + objects + "}", action, error));
        EXPECT_TRUE(oneLine(error)) << error;
        // Unterminated.
        EXPECT_FALSE(actionFromJson(kActionHeader + std::string(depth, '['), action, error));
        EXPECT_TRUE(oneLine(error)) << error;
    }
    // Objects inside objects, deeper than the reader allows.
    std::string nested = "[]";
    for (int i = 0; i < 40; ++i)
        nested = "[{\"key\": \"Kobj\", \"type\": \"object\", \"class\": \"Objc\", \"value\": " + nested + "}]";
    EXPECT_FALSE(actionFromJson(kActionHeader + nested + "}", action, error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos) << error;
}

TEST(HostileActionFile, HugeAndExtremeValuesAreRefusedOrKept) {
    RecordedAction action;
    std::string error;
    // Too many items.
    std::string items = "[";
    for (int i = 0; i < 5000; ++i)
        items += std::string(i ? "," : "") + "{\"key\":\"Kabc\",\"type\":\"integer\",\"value\":1}";
    items += "]";
    EXPECT_FALSE(actionFromJson(kActionHeader + items + "}", action, error));
    EXPECT_TRUE(oneLine(error));
    // Text longer than the reader keeps.
    const std::string longText =
        "[{\"key\":\"Ktxt\",\"type\":\"text\",\"value\":\"" + std::string(2u << 20, 'x') + "\"}]";
    EXPECT_FALSE(actionFromJson(kActionHeader + longText + "}", action, error));
    EXPECT_TRUE(oneLine(error));
    // Numbers at and beyond every edge.
    const char* values[] = {"1e400",
                            "-1e400",
                            "18446744073709551616",
                            "18446744073709551615",
                            "-9223372036854775809",
                            "2147483648",
                            "-2147483649",
                            "4294967296",
                            "1.5",
                            "-0",
                            "null",
                            "true",
                            "\"NaN\"",
                            "\"nan\"",
                            "[]",
                            "{}",
                            "\"\"",
                            "\"abcde\"",
                            "\"\\u0000\\u0000\\u0000\\u0000\""};
    const char* types[] = {"integer", "float",     "unitFloat", "boolean", "text",     "alias", "enumerated",
                           "class",   "reference", "object",    "count",   "nonsense", ""};
    for (const char* type : types)
        for (const char* v : values) {
            const std::string doc = std::string(kActionHeader) + "[{\"key\":" + v + ",\"type\":\"" + type +
                                    "\",\"value\":" + v + ",\"unit\":" + v + ",\"enumType\":" + v + ",\"class\":" + v +
                                    ",\"form\":" + v + ",\"name\":" + v + ",\"index\":" + v + ",\"keyType\":" + v +
                                    ",\"enum\":" + v + "}], \"playInfo\": " + v + "}";
            RecordedAction a = sampleAction(0);
            const std::string before = actionToJson(a);
            if (!actionFromJson(doc, a, error)) {
                EXPECT_TRUE(oneLine(error)) << error;
                EXPECT_EQ(actionToJson(a), before);
            }
        }
    // Not text at all.
    const std::string binary("\0\xff\xfe{", 4);
    EXPECT_FALSE(actionFromJson(binary, action, error));
    EXPECT_FALSE(actionFromJson("", action, error));
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

std::vector<std::uint8_t> text(const std::string& s, bool terminate) {
    std::vector<std::uint8_t> v(s.begin(), s.end());
    if (terminate) v.push_back(0);
    return v;
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

// Regression: a property with no data made cString hand a null pointer to strnlen.
TEST(HostilePropertyList, EmptyTextPropertiesReadAsEmpty) {
    PropertyList list;
    std::string error;
    ASSERT_TRUE(parsePropertyList(propertyList({{K("enbl"), {}}, {K("8664"), {}}, {K("name"), {}}}), list, error));
    EXPECT_EQ(list.cString(K("8664")), "");
    EXPECT_EQ(list.cString(K("enbl")), "");
    EXPECT_EQ(list.pascalString(K("name")), "");
    std::string why;
    EXPECT_FALSE(moduleAcceptsImageMode(list, plugInModeRGBColor, why));
    EXPECT_TRUE(oneLine(why));
}

TEST(HostilePropertyList, ExtremeCountsAndLengths) {
    for (std::uint32_t count : {0u, 1u, 2u, 0x7FFFFFFFu, 0xFFFFFFFFu})
        for (std::uint32_t length : {0u, 1u, 4u, 0xFFFFFFF0u, 0xFFFFFFFFu, 0x80000000u}) {
            std::vector<std::uint8_t> b = propertyList({{K("name"), text("abc", true)}});
            for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(count >> (8 * i));
            for (int i = 0; i < 4; ++i) b[8 + 12 + i] = static_cast<std::uint8_t>(length >> (8 * i));
            PropertyList list;
            std::string error;
            if (!parsePropertyList(b, list, error)) {
                EXPECT_TRUE(oneLine(error));
            }
        }
}

// Regression: the enable condition comes from the module file; deep nesting
// must be refused, not recursed into until the stack runs out.
TEST(HostileEnableCondition, DeepNestingIsRefused) {
    bool enabled = true;
    std::string error;
    for (std::size_t depth : {10000u, 200000u}) {
        EXPECT_FALSE(evaluateEnableCondition(std::string(depth, '('), plugInModeRGBColor, enabled, error));
        EXPECT_TRUE(oneLine(error));
        EXPECT_FALSE(evaluateEnableCondition(std::string(depth, '!'), plugInModeRGBColor, enabled, error));
        EXPECT_TRUE(oneLine(error));
        const std::string balanced = std::string(depth, '(') + "PSHOP_ImageMode == RGBMode" + std::string(depth, ')');
        EXPECT_FALSE(evaluateEnableCondition(balanced, plugInModeRGBColor, enabled, error));
        EXPECT_TRUE(oneLine(error));
    }
    // Ordinary nesting still works.
    const std::string modest = std::string(20, '(') + "!!PSHOP_ImageMode == RGBMode" + std::string(20, ')');
    ASSERT_TRUE(evaluateEnableCondition(modest, plugInModeRGBColor, enabled, error)) << error;
    EXPECT_TRUE(enabled);
    ASSERT_TRUE(evaluateEnableCondition(kEnableCondition, plugInModeRGB48, enabled, error)) << error;
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

void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
    if (at + 8 <= b.size()) std::memcpy(b.data() + at, &v, 8);
}
void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    if (at + 2 <= b.size()) std::memcpy(b.data() + at, &v, 2);
}

// A change aimed at the parts the reader trusts: header fields, section
// headers and the section name table.
void mutateElf(Mutator& m, std::vector<std::uint8_t>& b, std::uint64_t shoff, std::size_t shnum) {
    const std::uint64_t size = b.size();
    const std::uint64_t extremes[] = {0,
                                      1,
                                      63,
                                      64,
                                      size - 1,
                                      size,
                                      size + 1,
                                      0x7FFFFFFFFFFFFFFFull,
                                      0x8000000000000000ull,
                                      ~0ull,
                                      ~0ull - 63,
                                      0ull - shoff,
                                      0ull - shoff + 64,
                                      0xFFFFFFFFull,
                                      shoff};
    const std::uint64_t v = extremes[m.below(std::size(extremes))];
    switch (m.below(6)) {
        case 0:
            put64(b, offsetof(Elf64_Ehdr, e_shoff), v);
            break;
        case 1:
            put16(b, offsetof(Elf64_Ehdr, e_shnum), static_cast<std::uint16_t>(m.chance(50) ? v : m.raw()));
            break;
        case 2:
            put16(b, offsetof(Elf64_Ehdr, e_shstrndx), static_cast<std::uint16_t>(m.chance(50) ? v : m.raw()));
            break;
        case 3:
            put16(b, offsetof(Elf64_Ehdr, e_shentsize), static_cast<std::uint16_t>(m.chance(50) ? v : m.raw()));
            break;
        default: {  // a field of a section header
            const std::size_t section = m.below(shnum + 1);
            const std::size_t fields[] = {offsetof(Elf64_Shdr, sh_name), offsetof(Elf64_Shdr, sh_offset),
                                          offsetof(Elf64_Shdr, sh_size)};
            const std::size_t field = fields[m.below(3)];
            const std::size_t at = shoff + section * sizeof(Elf64_Shdr) + field;
            if (field == offsetof(Elf64_Shdr, sh_name)) {
                if (at + 4 <= b.size()) {
                    const auto w = static_cast<std::uint32_t>(v);
                    std::memcpy(b.data() + at, &w, 4);
                }
            } else {
                put64(b, at, v);
            }
        }
    }
}

TEST(HostileModuleFile, MutatedModulesGiveTheSectionOrAClearError) {
    const std::vector<std::uint8_t> module = readFile(GLOBARO_MODULE_PATH);
    ASSERT_GT(module.size(), sizeof(Elf64_Ehdr));
    std::vector<std::uint8_t> expected;
    std::string error;
    ASSERT_TRUE(readElfSection(GLOBARO_MODULE_PATH, kPropertySectionName, expected, error)) << error;
    const std::vector<std::uint8_t> compact = compactModule(module);
    const std::string path = tempPath("module.so");
    writeFile(path, compact);
    std::vector<std::uint8_t> section;
    ASSERT_TRUE(readElfSection(path, kPropertySectionName, section, error)) << error;
    ASSERT_EQ(section, expected);

    Elf64_Ehdr h;
    std::memcpy(&h, compact.data(), sizeof h);
    const std::vector<std::vector<std::uint8_t>> samples{compact};
    Mutator m(0xE1F64u);
    std::size_t found = 0;
    for (std::size_t n = 0; n < 700; ++n) {
        std::vector<std::uint8_t> b = compact;
        const std::size_t changes = 1 + m.below(3);
        for (std::size_t c = 0; c < changes; ++c) {
            if (m.chance(60))
                mutateElf(m, b, h.e_shoff, h.e_shnum);
            else
                m.mutateOnce(b, samples);
        }
        writeFile(path, b);
        std::vector<std::uint8_t> bytes;
        error.clear();
        const std::string name = n % 4 == 3 ? ".shstrtab" : kPropertySectionName;
        if (readElfSection(path, name, bytes, error)) {
            ++found;
            ASSERT_LE(bytes.size(), b.size()) << "case " << n;
            PropertyList list;
            if (name == kPropertySectionName && parsePropertyList(bytes, list, error)) exercise(list);
        } else {
            ASSERT_TRUE(oneLine(error)) << "case " << n << ": " << error;
        }
    }
    EXPECT_GT(found, 100u);
    std::filesystem::remove(path);
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

Document smallPicture(int planes, bool alpha, int depth) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, 19, 13, planes, alpha, depth, error)) << error;
    for (std::int32_t y = 0; y < d.height; ++y)
        for (std::int32_t x = 0; x < d.width; ++x)
            for (int p = 0; p < d.planes(); ++p) d.setValue(x, y, p, float((x * 7 + y * 3 + p * 5) % 17) / 16.0f);
    return d;
}

// A reader: true when it took the bytes (and checked what it made of them),
// false with `error` set when it refused them.
using Reader = std::function<bool(const std::vector<std::uint8_t>&, std::string& error)>;

struct Fuzz {
    const char* what;
    std::uint32_t seed;
    std::size_t cases, leastTaken, leastRefused;
    std::vector<std::vector<std::uint8_t>> samples;
    Reader read;
};

bool readAction(const std::vector<std::uint8_t>& bytes, std::string& error) {
    RecordedAction action = sampleAction(1);
    const std::string before = actionToJson(action);
    if (!actionFromJson(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), action, error)) {
        EXPECT_EQ(actionToJson(action), before) << "a refused document changed the action";
        return false;
    }
    // What was read writes and reads back the same.
    const std::string again = actionToJson(action);
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

// The file as an image and as a selection mask.
Reader readImage(const std::string& extension) {
    return [extension](const std::vector<std::uint8_t>& bytes, std::string& error) {
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
    };
}

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> savedPicture(const std::string& extension, int planes, bool alpha, int depth) {
    const std::string path = tempPath("valid" + extension);
    std::string error;
    EXPECT_TRUE(saveDocument(path, smallPicture(planes, alpha, depth), 0, error)) << error;
    return readFile(path);
}

TEST(Hostile, MutatedInputIsTakenSoundlyOrRefusedInOneLine) {
    const std::span<const std::uint8_t> pipl = pluginPropertyBytes();
    const std::string condition = kEnableCondition;
    const Fuzz table[] = {
        {"action file",
         0xAC710Au,
         2000,
         10,
         300,
         {bytesOf(actionToJson(sampleAction(0))), bytesOf(actionToJson(sampleAction(1))),
          bytesOf(actionToJson(sampleAction(2)))},
         readAction},
        {"property list",
         0x91B1u,
         4000,
         100,
         0,
         {{pipl.begin(), pipl.end()},
          propertyList({{K("kind"), text("MFB8", false)},
                        {K("name"), {}},
                        {K("enbl"), {}},
                        {K("8664"), {}},
                        {K("mode"), {0xFF}}}),
          propertyList({{K("enbl"), text("!(PSHOP_ImageMode == RGBMode) || (in (PSHOP_ImageMode, Gray16Mode))", false)},
                        {K("name"), {200, 'a', 'b'}}})},
         readPropertyList},
        {"enable condition",
         0xE4B1u,
         3000,
         0,
         0,
         {bytesOf(condition)},
         [](const std::vector<std::uint8_t>& b, std::string& error) {
             bool enabled = false;
             return evaluateEnableCondition(std::string(b.begin(), b.end()), plugInModeRGBColor, enabled, error);
         }},
        {"png 8-bit", 0x1A6Eu, 70, 0, 0, {savedPicture(".png", 3, true, 8)}, readImage(".png")},
        {"png 16-bit", 0x1A6Fu, 70, 0, 0, {savedPicture(".png", 1, false, 16)}, readImage(".png")},
        {"tiff 8-bit", 0x1A70u, 70, 0, 0, {savedPicture(".tif", 3, false, 8)}, readImage(".tif")},
        {"tiff 16-bit", 0x1A71u, 70, 0, 0, {savedPicture(".tif", 1, true, 16)}, readImage(".tif")},
        {"tiff float", 0x1A72u, 70, 0, 0, {savedPicture(".tif", 3, false, 32)}, readImage(".tif")},
        {"jpeg", 0x1A73u, 70, 0, 0, {savedPicture(".jpg", 3, false, 8)}, readImage(".jpg")},
    };
    std::size_t picturesTaken = 0;
    for (const Fuzz& f : table) {
        Mutator m(f.seed);
        std::size_t taken = 0, refused = 0;
        for (std::size_t n = 0; n < f.cases; ++n) {
            SCOPED_TRACE(std::string(f.what) + ", case " + std::to_string(n));
            std::string error;
            if (f.read(m.mutate(f.samples), error)) {
                ++taken;
            } else {
                ++refused;
                ASSERT_TRUE(oneLine(error)) << error;
            }
            if (HasFailure()) return;
        }
        EXPECT_GE(taken, f.leastTaken) << f.what;
        EXPECT_GE(refused, f.leastRefused) << f.what;
        if (std::string(f.what).find("bit") != std::string::npos) picturesTaken += taken;
    }
    EXPECT_GT(picturesTaken, 0u);
}

}  // namespace
}  // namespace globaro
