#pragma once
// The scripting descriptor's vocabulary: the keys under which the settings
// are recorded (in the order they are written), the keys asked for when a
// recorded descriptor is read back, and the enumeration tables that turn the
// filter's integer ids into four-character enumeration keys and back.
//
// Four-character codes are DescriptorKeyID values with the first character in
// the high byte (GLOBARO_FOURCC).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "host/filter_record.h"
#include "settings/settings_fields.h"
#include "settings/settings_record.h"

namespace globaro {

// A four-character code from its text, first character in the high byte.
constexpr std::uint32_t fourCharCode(const char (&s)[5]) { return GLOBARO_FOURCC(s[0], s[1], s[2], s[3]); }
// The four characters of a code, first character first.
std::string fourCharText(std::uint32_t code);

// Descriptor value types as the host's descriptor suites name them.
inline constexpr DescriptorTypeID kTypeInteger = GLOBARO_FOURCC('l', 'o', 'n', 'g');
inline constexpr DescriptorTypeID kTypeFloat = GLOBARO_FOURCC('d', 'o', 'u', 'b');
inline constexpr DescriptorTypeID kTypeBoolean = GLOBARO_FOURCC('b', 'o', 'o', 'l');
inline constexpr DescriptorTypeID kTypeEnumerated = GLOBARO_FOURCC('e', 'n', 'u', 'm');

// The key written for an id that has no enumeration key; reads back as 0.
inline constexpr DescriptorEnumID kNoEnumKey = GLOBARO_FOURCC('<', 'N', 'O', '>');

// A run of ids that map to a run of keys; both advance together by one. The
// key's trailing decimal digits are the part that advances ("Ko16" .. "Ko33",
// "Kgr1" .. "Kgr7"); a single id maps to its key as written ("Kp##").
struct EnumKeyRange {
    std::int32_t firstId;
    std::int32_t lastId;
    char firstKey[5];

    constexpr std::int32_t count() const { return lastId - firstId + 1; }
    // The key of `firstId + offset`, 0 <= offset < count().
    DescriptorEnumID keyAt(std::int32_t offset) const;
};

// Ids that the recorded key lists never gave a key of their own (output
// 351 "cross 3", 352 "cross 5", 100335 "logarithmic" ...) would otherwise
// travel as "<NO>" and come back as 0. A table that carries them writes such
// an id as a key of its own: '#' followed by the id in three base-62 digits
// (0-9, A-Z, a-z, most significant first), so 351 is "#05f" and 100335 is
// "#Q6J". No listed key starts with '#', so these never collide with one;
// ids outside 1..kMaxCarriedId still travel as "<NO>".
inline constexpr char kCarriedKeyPrefix = '#';
inline constexpr std::int32_t kMaxCarriedId = 62 * 62 * 62 - 1;

// A two-way table between the ids of one enumeration type and their keys.
class EnumKeyTable {
public:
    // `carriesOtherIds`: ids without a listed key get one by the '#' rule
    // above (and such keys read back), instead of "<NO>".
    constexpr EnumKeyTable(const char (&typeCode)[5], std::span<const EnumKeyRange> ranges,
                           bool carriesOtherIds = false)
        : type_(fourCharCode(typeCode)), ranges_(ranges), carriesOtherIds_(carriesOtherIds) {}

    // The enumeration type under which the keys are written ('Koty' ...).
    DescriptorEnumTypeID type() const { return type_; }
    std::span<const EnumKeyRange> ranges() const { return ranges_; }
    // Number of ids with a listed key.
    std::int32_t size() const;
    bool carriesOtherIds() const { return carriesOtherIds_; }

    // The key of an id: its listed key, else (in a table that carries other
    // ids) its '#' key, else kNoEnumKey.
    DescriptorEnumID keyFor(std::int32_t id) const;
    // The id of a key, or 0 when the key has none (kNoEnumKey included). A
    // '#' key counts only in a table that carries other ids, and only for an
    // id without a listed key (every id has exactly one key).
    std::int32_t idFor(DescriptorEnumID key) const;
    // The id has a key that travels (listed or '#').
    bool hasId(std::int32_t id) const { return keyFor(id) != kNoEnumKey; }
    // The id has a listed key.
    bool hasListedKey(std::int32_t id) const;

    // Calls visit(id, key) for every listed entry, in the table's id order.
    template <typename Visit>
    void forEach(Visit&& visit) const {
        for (const EnumKeyRange& r : ranges_)
            for (std::int32_t k = 0; k < r.count(); ++k) visit(r.firstId + k, r.keyAt(k));
    }

private:
    DescriptorEnumTypeID type_;
    std::span<const EnumKeyRange> ranges_;
    bool carriesOtherIds_;
};

const EnumKeyTable& gridKeyTable();    // 'Kgty': grid 1..7
const EnumKeyTable& glueKeyTable();    // 'GLty': glue modes 1..69
const EnumKeyTable& inputKeyTable();   // 'Kity': the 38 input projections
const EnumKeyTable& outputKeyTable();  // 'Koty': 424 listed output ids; carries the others

// How a value travels between the settings record and the descriptor.
enum class DescriptorValueKind : std::uint8_t {
    kInteger,           // 'long' <-> a 32-bit field
    kBoolean,           // 'bool' <-> a 32-bit field holding 0 or 1 (written from its low byte)
    kBooleanOrInteger,  // read: a 'bool', or a 'long' taken as nonzero; stored as 0 or 1
    kFloat,             // 'doub' <-> a 32-bit float field
    kColorChannel,      // 'long' 0..255 <-> the high byte of an Rgb16 channel
    kEnumerated,        // 'enum' of the key's table <-> an id field
    kIgnored,           // read back: nothing stored
};

// One scripted setting: its key, how it is written and read, and the field
// of the settings table it carries (a colour travels as three keys, one per
// channel).
struct DescriptorKey {
    DescriptorKeyID key;
    DescriptorValueKind writeKind;
    DescriptorValueKind readKind;
    const EnumKeyTable* enumTable;  // kEnumerated only
    const SettingsField* field;
    int channel;  // colour channels: 0 red, 1 green, 2 blue
};

// The scripted settings in the order they are written (44 keys), in the
// order of the settings table.
std::span<const DescriptorKey> descriptorKeys();
// The entry of a key, or null when the key is not one we write.
const DescriptorKey* findDescriptorKey(DescriptorKeyID key);

// The keys asked for when a descriptor is opened for reading (45 keys: the
// written ones and '0015', which is asked for but never written), terminated
// by a 0 entry that is not counted in the span.
std::span<const DescriptorKeyID> descriptorReadKeys();
inline constexpr std::size_t kDescriptorReadKeyCount = 45;
inline constexpr std::size_t kDescriptorWriteKeyCount = 44;

}  // namespace globaro
