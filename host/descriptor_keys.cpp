#include "host/descriptor_keys.h"

#include <iterator>
#include <vector>

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

// ---- The scripted settings, from the settings table -----------------------------

using K = DescriptorValueKind;

DescriptorKeyID keyCode(const char (&key)[5]) { return fourCharCode(key); }

const EnumKeyTable* enumTableOf(Scripted scripted) {
    switch (scripted) {
        case Scripted::kInputKey: return &kInputTable;
        case Scripted::kOutputKey: return &kOutputTable;
        case Scripted::kGlueKey: return &kGlueTable;
        case Scripted::kGridKey: return &kGridTable;
        default: return nullptr;
    }
}

K kindOf(FieldType type) {
    switch (type) {
        case FieldType::kInteger: return K::kInteger;
        case FieldType::kBoolean: return K::kBoolean;
        case FieldType::kFloat: return K::kFloat;
        case FieldType::kColor: return K::kColorChannel;
    }
    return K::kIgnored;
}

struct KeyLists {
    std::vector<DescriptorKey> written;
    std::vector<DescriptorKeyID> read;  // terminated by 0
};

const KeyLists& keyLists() {
    static const KeyLists lists = [] {
        KeyLists l;
        for (const SettingsField& f : settingsFields()) {
            if (f.scripted == Scripted::kNo) continue;
            const int channels = f.type == FieldType::kColor ? 3 : 1;
            for (int c = 0; c < channels; ++c) {
                const DescriptorKeyID key = keyCode(f.key[c]);
                l.read.push_back(key);
                if (f.scripted == Scripted::kAskOnly) continue;
                DescriptorKey k{key, kindOf(f.type), kindOf(f.type), enumTableOf(f.scripted), &f, c};
                if (k.enumTable != nullptr) k.writeKind = k.readKind = K::kEnumerated;
                if (f.scripted == Scripted::kReadAsBoolean) k.readKind = K::kBooleanOrInteger;
                if (f.scripted == Scripted::kWriteOnly) k.readKind = K::kIgnored;
                l.written.push_back(k);
            }
        }
        l.read.push_back(0);
        return l;
    }();
    return lists;
}

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

std::span<const DescriptorKey> descriptorKeys() { return keyLists().written; }

const DescriptorKey* findDescriptorKey(DescriptorKeyID key) {
    for (const DescriptorKey& k : keyLists().written)
        if (k.key == key) return &k;
    return nullptr;
}

std::span<const DescriptorKeyID> descriptorReadKeys() {
    const std::vector<DescriptorKeyID>& read = keyLists().read;
    return std::span<const DescriptorKeyID>(read.data(), read.size() - 1);
}

}  // namespace globaro
