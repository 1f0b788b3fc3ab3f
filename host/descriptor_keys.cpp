#include "host/descriptor_keys.h"

#include <array>
#include <iterator>

namespace globaro {

namespace {

// ---- Enumeration tables -----------------------------------------------------

constexpr EnumKeyRange kGridRanges[] = {
    {1, 7, "Kgr1"},
};

constexpr EnumKeyRange kGlueRanges[] = {
    {1, 69, "GL01"},
};

constexpr EnumKeyRange kInputRanges[] = {
    {1, 16, "Ki01"}, {17, 30, "Ki18"}, {31, 31, "Ki33"}, {32, 32, "Ki32"}, {33, 33, "Ki35"}, {34, 38, "Ki37"},
};

// Output ids and their keys. The keys record the order in which outputs were
// added over the years, so ids and keys advance together only piecewise.
constexpr EnumKeyRange kOutputRanges[] = {
    {1, 15, "Ko01"},      {16, 16, "Ko70"},     {17, 34, "Ko16"},     {35, 35, "KP46"},     {36, 55, "Ko35"},
    {56, 69, "Ko56"},     {70, 98, "Ko71"},     {99, 105, "Kp00"},    {106, 116, "Kp08"},   {117, 117, "Kp41"},
    {118, 120, "Kp29"},   {121, 121, "Kp33"},   {122, 123, "Kp38"},   {124, 124, "Kp20"},   {125, 125, "Kp32"},
    {126, 126, "Kp40"},   {127, 127, "Kp21"},   {128, 133, "Kp23"},   {134, 136, "Kp42"},   {137, 137, "KP45"},
    {138, 142, "Kp47"},   {143, 144, "Kp53"},   {145, 145, "Kp56"},   {146, 149, "Kp58"},   {150, 150, "Kp55"},
    {151, 151, "Kp57"},   {152, 163, "Kp62"},   {164, 174, "Kp76"},   {175, 176, "Kp89"},   {177, 198, "Kq00"},
    {199, 201, "Kr00"},   {202, 202, "Kr30"},   {203, 203, "Kr40"},   {204, 204, "Kr03"},   {205, 205, "Kr31"},
    {206, 209, "Kr04"},   {210, 210, "Kr32"},   {211, 211, "Kr41"},   {212, 212, "Kr08"},   {213, 213, "Kr33"},
    {214, 214, "Kr42"},   {215, 219, "Kr09"},   {220, 220, "Kr34"},   {221, 221, "Kr43"},   {222, 222, "Kr14"},
    {223, 223, "Kr35"},   {224, 224, "Kr44"},   {225, 225, "Kr15"},   {226, 226, "Kr36"},   {227, 232, "Kr16"},
    {233, 233, "Kr37"},   {234, 234, "Kr45"},   {235, 235, "Kr22"},   {236, 236, "Kr38"},   {237, 237, "Kr46"},
    {238, 238, "Kr23"},   {239, 239, "Kr39"},   {240, 240, "Kr47"},   {241, 246, "Kr24"},   {247, 254, "Kr48"},
    {255, 262, "Kr62"},   {263, 267, "Kr56"},   {268, 297, "Kr70"},   {298, 300, "Ks00"},   {301, 301, "Kt34"},
    {302, 303, "Ks03"},   {304, 336, "Kt01"},   {337, 337, "Kt36"},   {338, 341, "Kt38"},   {342, 342, "Kt43"},
    {343, 343, "Kt42"},   {344, 350, "Kt44"},   {353, 367, "Kt55"},   {368, 369, "Kt71"},   {370, 370, "Kt70"},
    {371, 371, "Kt73"},   {372, 372, "Kt75"},   {373, 373, "Kt82"},   {374, 374, "Kt77"},   {375, 375, "Kt74"},
    {376, 376, "Kt76"},   {377, 377, "Kt83"},   {378, 379, "Kt78"},   {380, 380, "Kt81"},   {381, 381, "Kt84"},
    {382, 382, "Kt80"},   {383, 397, "Kt85"},   {398, 404, "Ku00"},   {405, 413, "Ku08"},   {414, 414, "Ku18"},
    {486, 486, "Kt53"},   {566, 566, "Kt35"},   {800, 800, "Ks05"},   {900, 900, "Ku17"},   {1038, 1041, "Kp34"},
    {1042, 1042, "Kp88"}, {1043, 1043, "Kp##"}, {1046, 1046, "Ko55"}, {1047, 1047, "Kp87"},
};

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Where the advancing digits of a key start (4 when there are none).
constexpr int digitStart(const char (&key)[5]) {
    int start = 4;
    while (start > 0 && isDigit(key[start - 1])) --start;
    return start;
}

constexpr int digitValue(const char (&key)[5]) {
    int v = 0;
    for (int i = digitStart(key); i < 4; ++i) v = v * 10 + (key[i] - '0');
    return v;
}

constexpr int digitLimit(const char (&key)[5]) {
    int limit = 1;
    for (int i = digitStart(key); i < 4; ++i) limit *= 10;
    return limit;
}

// Every range is well formed: ids ascend without overlap, and a range of
// more than one id has digits enough to advance through.
template <std::size_t N>
constexpr bool rangesValid(const EnumKeyRange (&ranges)[N]) {
    std::int32_t previousLast = 0;
    for (const EnumKeyRange& r : ranges) {
        if (r.firstId > r.lastId || r.firstId <= previousLast) return false;
        if (r.count() > 1 && digitValue(r.firstKey) + r.count() > digitLimit(r.firstKey)) return false;
        if (r.count() > 1 && digitStart(r.firstKey) == 4) return false;
        previousLast = r.lastId;
    }
    return true;
}

template <std::size_t N>
constexpr std::int32_t idCount(const EnumKeyRange (&ranges)[N]) {
    std::int32_t n = 0;
    for (const EnumKeyRange& r : ranges) n += r.count();
    return n;
}

// No listed key starts with the prefix of the carried keys.
template <std::size_t N>
constexpr bool noCarriedPrefix(const EnumKeyRange (&ranges)[N]) {
    for (const EnumKeyRange& r : ranges)
        if (r.firstKey[0] == kCarriedKeyPrefix) return false;
    return true;
}

static_assert(noCarriedPrefix(kOutputRanges));
static_assert(rangesValid(kGridRanges) && idCount(kGridRanges) == 7);
static_assert(rangesValid(kGlueRanges) && idCount(kGlueRanges) == 69);
static_assert(rangesValid(kInputRanges) && idCount(kInputRanges) == 38);
static_assert(rangesValid(kOutputRanges) && idCount(kOutputRanges) == 424);

constexpr EnumKeyTable kGridTable("Kgty", kGridRanges);
constexpr EnumKeyTable kGlueTable("GLty", kGlueRanges);
constexpr EnumKeyTable kInputTable("Kity", kInputRanges);
constexpr EnumKeyTable kOutputTable("Koty", kOutputRanges, true);

// ---- The scripted settings, in write order ------------------------------------

using K = DescriptorValueKind;

constexpr DescriptorKey integer(const char (&key)[5], std::int32_t SettingsRecord::*field) {
    return {fourCharCode(key), K::kInteger, K::kInteger, nullptr, field, nullptr, nullptr, nullptr};
}
constexpr DescriptorKey boolean(const char (&key)[5], std::int32_t SettingsRecord::*field) {
    return {fourCharCode(key), K::kBoolean, K::kBoolean, nullptr, field, nullptr, nullptr, nullptr};
}
constexpr DescriptorKey real(const char (&key)[5], float SettingsRecord::*field) {
    return {fourCharCode(key), K::kFloat, K::kFloat, nullptr, nullptr, field, nullptr, nullptr};
}
constexpr DescriptorKey channel(const char (&key)[5], Rgb16 SettingsRecord::*color, std::uint16_t Rgb16::*part) {
    return {fourCharCode(key), K::kColorChannel, K::kColorChannel, nullptr, nullptr, nullptr, color, part};
}
constexpr DescriptorKey enumerated(const char (&key)[5], const EnumKeyTable& table,
                                   std::int32_t SettingsRecord::*field) {
    return {fourCharCode(key), K::kEnumerated, K::kEnumerated, &table, field, nullptr, nullptr, nullptr};
}
constexpr DescriptorKey readAs(DescriptorKey entry, DescriptorValueKind readKind) {
    entry.readKind = readKind;
    return entry;
}

using S = SettingsRecord;

const DescriptorKey kKeys[] = {
    integer("Vers", &S::version),
    channel("0001", &S::tabColor, &Rgb16::red),
    channel("0002", &S::tabColor, &Rgb16::green),
    channel("0003", &S::tabColor, &Rgb16::blue),
    channel("0004", &S::backdropColor, &Rgb16::red),
    channel("0005", &S::backdropColor, &Rgb16::green),
    channel("0006", &S::backdropColor, &Rgb16::blue),
    enumerated("Kiky", kInputTable, &S::inputProjection),
    integer("0008", &S::latitudeInteger),
    integer("0009", &S::spinInteger),
    enumerated("Koky", kOutputTable, &S::outputProjection),
    boolean("0011", &S::flip),
    // Written as an integer but fetched as a Boolean; both are accepted.
    readAs(integer("hqpr", &S::hqpr), K::kBooleanOrInteger),
    integer("0012", &S::longitudeInteger),
    integer("0013", &S::tabsInteger),
    integer("0014", &S::fovInteger),
    enumerated("GLUE", kGlueTable, &S::glue),
    boolean("0017", &S::faces),
    integer("0018", &S::brickLayers),
    boolean("0019", &S::spherePlan),
    boolean("0020", &S::sphereStats),
    integer("0021", &S::cubeSide),
    boolean("0022", &S::ldraw),
    boolean("0023", &S::brickDiffusion),
    integer("0024", &S::brickColorset),
    boolean("0025", &S::brickPlates),
    integer("0026", &S::faceSize),
    integer("0027", &S::sharpeningInteger),
    boolean("0028", &S::transparentGaps),
    boolean("0029", &S::edges),
    boolean("0030", &S::anamorphosis),
    boolean("0031", &S::dehalo),
    enumerated("Kgky", kGridTable, &S::grid),
    // Recorded for the reader's information; a replay keeps the user's quality.
    readAs(integer("0032", &S::previewQuality), K::kIgnored),
    boolean("0033", &S::indicatrix),
    real("0034", &S::latitude),
    real("0035", &S::longitude),
    real("0036", &S::spin),
    real("0037", &S::fov),
    real("0038", &S::tabs),
    real("0039", &S::sharpen),
    channel("0040", &S::lineColor, &Rgb16::red),
    channel("0041", &S::lineColor, &Rgb16::green),
    channel("0042", &S::lineColor, &Rgb16::blue),
};
static_assert(std::size(kKeys) == kDescriptorWriteKeyCount);

// The read list: the written keys in order with '0015' after '0014', then a
// terminating 0.
constexpr std::array<DescriptorKeyID, kDescriptorReadKeyCount + 1> kReadKeys = {
    fourCharCode("Vers"), fourCharCode("0001"), fourCharCode("0002"), fourCharCode("0003"), fourCharCode("0004"),
    fourCharCode("0005"), fourCharCode("0006"), fourCharCode("Kiky"), fourCharCode("0008"), fourCharCode("0009"),
    fourCharCode("Koky"), fourCharCode("0011"), fourCharCode("hqpr"), fourCharCode("0012"), fourCharCode("0013"),
    fourCharCode("0014"), fourCharCode("0015"), fourCharCode("GLUE"), fourCharCode("0017"), fourCharCode("0018"),
    fourCharCode("0019"), fourCharCode("0020"), fourCharCode("0021"), fourCharCode("0022"), fourCharCode("0023"),
    fourCharCode("0024"), fourCharCode("0025"), fourCharCode("0026"), fourCharCode("0027"), fourCharCode("0028"),
    fourCharCode("0029"), fourCharCode("0030"), fourCharCode("0031"), fourCharCode("Kgky"), fourCharCode("0032"),
    fourCharCode("0033"), fourCharCode("0034"), fourCharCode("0035"), fourCharCode("0036"), fourCharCode("0037"),
    fourCharCode("0038"), fourCharCode("0039"), fourCharCode("0040"), fourCharCode("0041"), fourCharCode("0042"),
    0,
};

}  // namespace

std::string fourCharText(std::uint32_t code) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
    return s;
}

DescriptorEnumID EnumKeyRange::keyAt(std::int32_t offset) const {
    char key[5] = {firstKey[0], firstKey[1], firstKey[2], firstKey[3], '\0'};
    const int start = digitStart(firstKey);
    int value = digitValue(firstKey) + offset;
    for (int i = 3; i >= start; --i) {
        key[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return fourCharCode(key);
}

std::int32_t EnumKeyTable::size() const {
    std::int32_t n = 0;
    for (const EnumKeyRange& r : ranges_) n += r.count();
    return n;
}

namespace {

constexpr char kBase62[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int base62Value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c >= 'a' && c <= 'z') return c - 'a' + 36;
    return -1;
}

DescriptorEnumID carriedKey(std::int32_t id) {
    const char key[5] = {kCarriedKeyPrefix, kBase62[id / (62 * 62)], kBase62[id / 62 % 62], kBase62[id % 62], '\0'};
    return fourCharCode(key);
}

// The id a '#' key stands for, or 0 when the key is not one.
std::int32_t carriedId(DescriptorEnumID key) {
    const std::string text = fourCharText(key);
    if (text[0] != kCarriedKeyPrefix) return 0;
    std::int32_t id = 0;
    for (std::size_t i = 1; i < 4; ++i) {
        const int digit = base62Value(text[i]);
        if (digit < 0) return 0;
        id = id * 62 + digit;
    }
    return id;
}

}  // namespace

bool EnumKeyTable::hasListedKey(std::int32_t id) const {
    for (const EnumKeyRange& r : ranges_)
        if (id >= r.firstId && id <= r.lastId) return true;
    return false;
}

DescriptorEnumID EnumKeyTable::keyFor(std::int32_t id) const {
    for (const EnumKeyRange& r : ranges_)
        if (id >= r.firstId && id <= r.lastId) return r.keyAt(id - r.firstId);
    if (carriesOtherIds_ && id >= 1 && id <= kMaxCarriedId) return carriedKey(id);
    return kNoEnumKey;
}

std::int32_t EnumKeyTable::idFor(DescriptorEnumID key) const {
    if (key == kNoEnumKey) return 0;
    for (const EnumKeyRange& r : ranges_)
        for (std::int32_t k = 0; k < r.count(); ++k)
            if (r.keyAt(k) == key) return r.firstId + k;
    if (carriesOtherIds_) {
        const std::int32_t id = carriedId(key);
        if (id >= 1 && !hasListedKey(id)) return id;
    }
    return 0;
}

const EnumKeyTable& gridKeyTable() { return kGridTable; }
const EnumKeyTable& glueKeyTable() { return kGlueTable; }
const EnumKeyTable& inputKeyTable() { return kInputTable; }
const EnumKeyTable& outputKeyTable() { return kOutputTable; }

std::span<const DescriptorKey> descriptorKeys() { return kKeys; }

const DescriptorKey* findDescriptorKey(DescriptorKeyID key) {
    for (const DescriptorKey& k : kKeys)
        if (k.key == key) return &k;
    return nullptr;
}

std::span<const DescriptorKeyID> descriptorReadKeys() {
    return std::span<const DescriptorKeyID>(kReadKeys.data(), kDescriptorReadKeyCount);
}

}  // namespace globaro
