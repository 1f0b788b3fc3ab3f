#include "host/descriptor_keys.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>

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
    enumerated("Kiky", kInputKeyTable, &S::inputProjection),
    integer("0008", &S::latitudeInteger),
    integer("0009", &S::spinInteger),
    enumerated("Koky", kOutputKeyTable, &S::outputProjection),
    boolean("0011", &S::flip),
    // Written as an integer but fetched as a Boolean; both are accepted.
    readAs(integer("hqpr", &S::hqpr), K::kBooleanOrInteger),
    integer("0012", &S::longitudeInteger),
    integer("0013", &S::tabsInteger),
    integer("0014", &S::fovInteger),
    enumerated("GLUE", kGlueKeyTable, &S::glue),
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
    enumerated("Kgky", kGridKeyTable, &S::grid),
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

const EnumKeyTable& gridKeyTable() { return kGridKeyTable; }
const EnumKeyTable& glueKeyTable() { return kGlueKeyTable; }
const EnumKeyTable& inputKeyTable() { return kInputKeyTable; }
const EnumKeyTable& outputKeyTable() { return kOutputKeyTable; }

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
