#pragma once
// The one table of the settings record's fields: for each field its place in
// the record, its default, its range, where it travels in a settings file
// (word and first version) and under which key it is scripted. Resetting,
// clamping, the settings-file reader and writer and the scripting
// descriptors all walk this table, so a new field is added by adding its row.

#include <cstddef>
#include <cstdint>
#include <span>

#include "settings/settings_record.h"

namespace globaro {

// How a field's value is held and travels.
enum class FieldType : std::uint8_t {
    kInteger,  // a 32-bit whole number
    kBoolean,  // a 32-bit whole number holding 0 or 1
    kFloat,    // a 32-bit float
    kColor,    // an Rgb16: three words in files, three keys in descriptors
};

// Which reset gives the field its default.
enum class FieldReset : std::uint8_t {
    kNone,           // no reset touches it
    kDefaults,       // resetToDefaults
    kExportOptions,  // resetExportOptions
};

// How a field travels in the scripting descriptor.
enum class Scripted : std::uint8_t {
    kNo,
    kYes,            // written and read as its type ('long', 'bool', 'doub', colour channels)
    kInputKey,       // as a key of the input projection enumeration
    kOutputKey,      // as a key of the output projection enumeration
    kGlueKey,        // as a key of the glue mode enumeration
    kGridKey,        // as a key of the graticule enumeration
    kReadAsBoolean,  // written as an integer, read back as 0 or 1
    kWriteOnly,      // written, but a replay does not take it back
    kAskOnly,        // asked for when a descriptor is read, never written, its value ignored
};

// Where a field lives in the record: one member, or one element of an array
// member (the legacy words, floats and colours).
struct FieldPlace {
    std::int32_t SettingsRecord::*integer = nullptr;
    float SettingsRecord::*real = nullptr;
    Rgb16 SettingsRecord::*color = nullptr;
    std::int32_t (SettingsRecord::*integers)[kLegacyWordCount] = nullptr;
    float (SettingsRecord::*reals)[6] = nullptr;
    Rgb16 (SettingsRecord::*colors)[6] = nullptr;
    int index = 0;

    constexpr bool holdsInteger() const { return integer != nullptr || integers != nullptr; }
    constexpr bool holdsFloat() const { return real != nullptr || reals != nullptr; }
    constexpr bool holdsColor() const { return color != nullptr || colors != nullptr; }

    std::int32_t& integerIn(SettingsRecord& r) const { return integer != nullptr ? r.*integer : (r.*integers)[index]; }
    float& floatIn(SettingsRecord& r) const { return real != nullptr ? r.*real : (r.*reals)[index]; }
    Rgb16& colorIn(SettingsRecord& r) const { return color != nullptr ? r.*color : (r.*colors)[index]; }
    std::int32_t integerIn(const SettingsRecord& r) const {
        return integer != nullptr ? r.*integer : (r.*integers)[index];
    }
    float floatIn(const SettingsRecord& r) const { return real != nullptr ? r.*real : (r.*reals)[index]; }
    Rgb16 colorIn(const SettingsRecord& r) const { return color != nullptr ? r.*color : (r.*colors)[index]; }
};

constexpr FieldPlace member(std::int32_t SettingsRecord::*m) { return {.integer = m}; }
constexpr FieldPlace member(float SettingsRecord::*m) { return {.real = m}; }
constexpr FieldPlace member(Rgb16 SettingsRecord::*m) { return {.color = m}; }
constexpr FieldPlace legacyWord(int i) { return {.integers = &SettingsRecord::legacyWords, .index = i}; }
constexpr FieldPlace legacyFloat(int i) { return {.reals = &SettingsRecord::legacyFloats, .index = i}; }
constexpr FieldPlace legacyColor(int i) { return {.colors = &SettingsRecord::legacyColors, .index = i}; }

// A closed range lo..hi; a field without one has lo > hi.
struct FieldRange {
    double lo = 0.0;
    double hi = -1.0;
    constexpr bool any() const { return lo <= hi; }
};

struct SettingsField {
    const char* name;
    FieldPlace place;
    FieldType type = FieldType::kInteger;
    // The default, set by `reset` (`color` for colours, `value` otherwise).
    FieldReset reset = FieldReset::kNone;
    double value = 0.0;
    Rgb16 color{};
    // Values outside are clamped into it; a float that is not a number takes
    // the default. Booleans always read as 0 or 1.
    FieldRange range{};
    // Settings files: the number of the field's first word in a version-48
    // file without thumbnail (counting from 1; 0 = not in files), the first
    // version that carries it, and a word where it is written a second time
    // (the reader keeps the second copy).
    int word = 0;
    int since = 0;
    int againAt = 0;
    bool hundredths = false;  // a float written as hundredths, truncated toward zero
    // Scripting descriptors: the key (three, one per channel, for colours).
    Scripted scripted = Scripted::kNo;
    char key[3][5] = {};
};

// Every field, in the order of the settings file's words (which is also the
// order the descriptor keys are written in); fields that no file carries
// come last.
std::span<const SettingsField> settingsFields();

// The row of a field by name, or null.
const SettingsField* findSettingsField(const char* name);

// Brings one field into its range (a Boolean to 0 or 1, a float that is not
// a number to its default). Fields without a range are left alone.
void clampField(const SettingsField& field, SettingsRecord& record);

}  // namespace globaro
