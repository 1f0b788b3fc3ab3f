#include "host/descriptor_keys.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>
#include <vector>

#include "projection/registry.h"

namespace globaro {

namespace {

// ---- Enumeration tables -----------------------------------------------------

constexpr EnumKeyRange kGridRanges[] = {
    {1, 7, "Kgr1"},
};

constexpr EnumKeyRange kGlueRanges[] = {
    {1, 69, "GL01"},
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

// The keys of one table's ids, from the registry's rows.
struct IdKey {
    std::int32_t id = 0;
    std::string_view key;
};

constexpr std::size_t kOutputKeyCount = [] {
    std::size_t n = std::size(registry_detail::kKeyOnlyOutputIds);
    for (const OutputRow& row : kAllOutputRows) n += row.key.empty() ? 0 : 1;
    return n;
}();

constexpr std::array<IdKey, kOutputKeyCount> outputKeys() {
    std::array<IdKey, kOutputKeyCount> keys{};
    std::size_t n = 0;
    for (const OutputRow& row : kAllOutputRows)
        if (!row.key.empty()) keys[n++] = {row.id, row.key};
    for (const auto& extra : registry_detail::kKeyOnlyOutputIds) keys[n++] = {extra.id, extra.key};
    std::sort(keys.begin(), keys.end(), [](const IdKey& x, const IdKey& y) { return x.id < y.id; });
    return keys;
}

constexpr std::array<IdKey, kInputProjectionCount> inputKeys() {
    std::array<IdKey, kInputProjectionCount> keys{};
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = {kAllInputRows[i].id, kAllInputRows[i].key};
    return keys;
}

// Whether `next` continues range r: the next id, with the key r's digits
// advance to.
constexpr bool continues(const EnumKeyRange& r, const IdKey& next) {
    if (next.id != r.lastId + 1) return false;
    const int start = digitStart(r.firstKey);
    if (start == 4) return false;
    int value = digitValue(r.firstKey) + (next.id - r.firstId);
    if (value >= digitLimit(r.firstKey)) return false;
    for (int i = 0; i < start; ++i)
        if (next.key[static_cast<std::size_t>(i)] != r.firstKey[i]) return false;
    for (int i = 3; i >= start; --i) {
        if (next.key[static_cast<std::size_t>(i)] != static_cast<char>('0' + value % 10)) return false;
        value /= 10;
    }
    return true;
}

constexpr EnumKeyRange startRange(const IdKey& k) {
    EnumKeyRange r{k.id, k.id, {}};
    for (std::size_t i = 0; i < 4; ++i) r.firstKey[i] = k.key[i];
    r.firstKey[4] = '\0';
    return r;
}

// The keys folded into the fewest ranges; with `out`, also written there.
template <std::size_t N>
constexpr std::size_t foldRanges(const std::array<IdKey, N>& keys, EnumKeyRange* out = nullptr) {
    std::size_t count = 0;
    EnumKeyRange current{};
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0 && continues(current, keys[i])) {
            ++current.lastId;
        } else {
            if (i > 0 && out != nullptr) out[count - 1] = current;
            current = startRange(keys[i]);
            ++count;
        }
    }
    if (N > 0 && out != nullptr) out[count - 1] = current;
    return count;
}

template <std::size_t Count, std::size_t N>
constexpr std::array<EnumKeyRange, Count> rangesOf(const std::array<IdKey, N>& keys) {
    std::array<EnumKeyRange, Count> ranges{};
    foldRanges(keys, ranges.data());
    return ranges;
}

constexpr auto kOutputRanges = rangesOf<foldRanges(outputKeys())>(outputKeys());
constexpr auto kInputRanges = rangesOf<foldRanges(inputKeys())>(inputKeys());

// Every range is well formed: ids ascend without overlap, and a range of
// more than one id has digits enough to advance through.
constexpr bool rangesValid(std::span<const EnumKeyRange> ranges) {
    std::int32_t previousLast = 0;
    for (const EnumKeyRange& r : ranges) {
        if (r.firstId > r.lastId || r.firstId <= previousLast) return false;
        if (r.count() > 1 && digitValue(r.firstKey) + r.count() > digitLimit(r.firstKey)) return false;
        if (r.count() > 1 && digitStart(r.firstKey) == 4) return false;
        previousLast = r.lastId;
    }
    return true;
}

constexpr std::int32_t idCount(std::span<const EnumKeyRange> ranges) {
    std::int32_t n = 0;
    for (const EnumKeyRange& r : ranges) n += r.count();
    return n;
}

// No listed key starts with the prefix of the carried keys, and no key is
// listed twice.
template <std::size_t N>
constexpr bool keysDistinct(const std::array<IdKey, N>& keys) {
    for (std::size_t i = 0; i < N; ++i) {
        if (keys[i].key[0] == kCarriedKeyPrefix) return false;
        for (std::size_t j = i + 1; j < N; ++j)
            if (keys[i].key == keys[j].key) return false;
    }
    return true;
}

static_assert(keysDistinct(outputKeys()) && keysDistinct(inputKeys()));
static_assert(rangesValid(kGridRanges) && idCount(kGridRanges) == 7);
static_assert(rangesValid(kGlueRanges) && idCount(kGlueRanges) == 69);
static_assert(rangesValid(kInputRanges) && idCount(kInputRanges) == kInputProjectionCount);
static_assert(rangesValid(kOutputRanges) && idCount(kOutputRanges) == static_cast<std::int32_t>(kOutputKeyCount));

constexpr EnumKeyTable kGridKeyTable("Kgty", kGridRanges);
constexpr EnumKeyTable kGlueKeyTable("GLty", kGlueRanges);
constexpr EnumKeyTable kInputKeyTable("Kity", kInputRanges);
constexpr EnumKeyTable kOutputKeyTable("Koty", kOutputRanges, true);

// ---- The scripted settings, from the settings table -----------------------------

using K = DescriptorValueKind;

DescriptorKeyID keyCode(const char (&key)[5]) { return fourCharCode(key); }

const EnumKeyTable* enumTableOf(Scripted scripted) {
    switch (scripted) {
        case Scripted::kInputKey:
            return &kInputKeyTable;
        case Scripted::kOutputKey:
            return &kOutputKeyTable;
        case Scripted::kGlueKey:
            return &kGlueKeyTable;
        case Scripted::kGridKey:
            return &kGridKeyTable;
        default:
            return nullptr;
    }
}

K kindOf(FieldType type) {
    switch (type) {
        case FieldType::kInteger:
            return K::kInteger;
        case FieldType::kBoolean:
            return K::kBoolean;
        case FieldType::kFloat:
            return K::kFloat;
        case FieldType::kColor:
            return K::kColorChannel;
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

const EnumKeyTable& gridKeyTable() { return kGridKeyTable; }
const EnumKeyTable& glueKeyTable() { return kGlueKeyTable; }
const EnumKeyTable& inputKeyTable() { return kInputKeyTable; }
const EnumKeyTable& outputKeyTable() { return kOutputKeyTable; }

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
