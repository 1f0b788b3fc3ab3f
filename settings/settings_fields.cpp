#include "settings/settings_fields.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace globaro {

namespace {

using S = SettingsRecord;
using enum FieldType;
using enum Scripted;
constexpr FieldReset kDefaults = FieldReset::kDefaults;
constexpr FieldReset kExportOptions = FieldReset::kExportOptions;

// The version word leads every settings file; the file code reads and writes
// it itself. Words 44, 58, 66 (the old thumbnail block), 70-71 and 85 (the
// thumbnail block) are the file format's own and have no row here.
// One row a line, as the table is read: clang-format leaves it alone.
// clang-format off
constexpr SettingsField kFields[] = {
    {.name = "version", .place = member(&S::version), .word = 1, .since = 1, .scripted = kYes, .key = {"Vers"}},
    {.name = "tabColor", .place = member(&S::tabColor), .type = kColor, .reset = kDefaults,
     .color = Rgb16::from8(215, 172, 220), .word = 2, .since = 1, .scripted = kYes, .key = {"0001", "0002", "0003"}},
    {.name = "backdropColor", .place = member(&S::backdropColor), .type = kColor, .reset = kDefaults,
     .color = Rgb16::from8(255, 255, 255), .word = 5, .since = 1, .scripted = kYes, .key = {"0004", "0005", "0006"}},
    {.name = "legacyColors[0]", .place = legacyColor(0), .type = kColor, .word = 8, .since = 1},
    {.name = "inputProjection", .place = member(&S::inputProjection), .reset = kDefaults, .value = 1, .word = 11,
     .since = 1, .scripted = kInputKey, .key = {"Kiky"}},
    {.name = "legacyWords[1]", .place = legacyWord(1), .word = 12, .since = 1},
    {.name = "legacyWords[2]", .place = legacyWord(2), .word = 13, .since = 1},
    {.name = "legacyWords[3]", .place = legacyWord(3), .word = 14, .since = 1},
    {.name = "latitudeInteger", .place = member(&S::latitudeInteger), .reset = kDefaults, .word = 15, .since = 1,
     .scripted = kYes, .key = {"0008"}},
    {.name = "spinInteger", .place = member(&S::spinInteger), .reset = kDefaults, .word = 16, .since = 1,
     .scripted = kYes, .key = {"0009"}},
    {.name = "legacyWords[4]", .place = legacyWord(4), .word = 17, .since = 1},
    {.name = "legacyWords[5]", .place = legacyWord(5), .word = 18, .since = 1},
    {.name = "legacyWords[6]", .place = legacyWord(6), .word = 19, .since = 1},
    {.name = "legacyWords[7]", .place = legacyWord(7), .word = 20, .since = 1},
    {.name = "outputProjection", .place = member(&S::outputProjection), .reset = kDefaults, .value = 1, .word = 21,
     .since = 1, .scripted = kOutputKey, .key = {"Koky"}},
    {.name = "flip", .place = member(&S::flip), .type = kBoolean, .reset = kDefaults, .word = 22, .since = 1,
     .scripted = kYes, .key = {"0011"}},
    {.name = "hqpr", .place = member(&S::hqpr), .reset = kDefaults, .word = 23, .since = 1,
     .scripted = kReadAsBoolean, .key = {"hqpr"}},
    {.name = "legacyWords[8]", .place = legacyWord(8), .word = 24, .since = 1},
    {.name = "longitudeInteger", .place = member(&S::longitudeInteger), .reset = kDefaults, .word = 25, .since = 1,
     .scripted = kYes, .key = {"0012"}},
    {.name = "tabsInteger", .place = member(&S::tabsInteger), .reset = kDefaults, .value = 33, .word = 26,
     .since = 1, .scripted = kYes, .key = {"0013"}},
    {.name = "legacyWords[20]", .place = legacyWord(20), .word = 27, .since = 1},
    {.name = "legacyWords[9]", .place = legacyWord(9), .word = 28, .since = 1},
    {.name = "legacyWords[11]", .place = legacyWord(11), .word = 29, .since = 1},
    {.name = "legacyWords[12]", .place = legacyWord(12), .word = 30, .since = 1},
    {.name = "legacyColors[3]", .place = legacyColor(3), .type = kColor, .word = 31, .since = 1, .againAt = 34},
    {.name = "legacyColors[5]", .place = legacyColor(5), .type = kColor, .word = 37, .since = 2},
    {.name = "fovInteger", .place = member(&S::fovInteger), .reset = kDefaults, .value = 120, .word = 40,
     .since = 2, .scripted = kYes, .key = {"0014"}},
    {.name = "legacyWords[10]", .place = legacyWord(10), .word = 41, .since = 2},
    // Its key, "grid" in the terminology, is still asked for but not used.
    {.name = "gridLegacy", .place = member(&S::gridLegacy), .reset = kDefaults, .range = {0, 7}, .word = 42,
     .since = 2, .scripted = kAskOnly, .key = {"0015"}},
    {.name = "glue", .place = member(&S::glue), .reset = kDefaults, .value = 1, .range = {1, 69}, .word = 43,
     .since = 3, .scripted = kGlueKey, .key = {"GLUE"}},
    {.name = "legacyWords[13]", .place = legacyWord(13), .word = 45, .since = 4},
    {.name = "legacyWords[14]", .place = legacyWord(14), .word = 46, .since = 4},
    {.name = "faces", .place = member(&S::faces), .type = kBoolean, .reset = kDefaults, .word = 47, .since = 4,
     .scripted = kYes, .key = {"0017"}},
    {.name = "legacyWords[16]", .place = legacyWord(16), .word = 48, .since = 5},
    {.name = "legacyWords[17]", .place = legacyWord(17), .word = 49, .since = 5},
    {.name = "legacyFloats[0]", .place = legacyFloat(0), .type = kFloat, .word = 50, .since = 8, .hundredths = true},
    {.name = "legacyFloats[1]", .place = legacyFloat(1), .type = kFloat, .word = 51, .since = 8, .hundredths = true},
    {.name = "legacyFloats[2]", .place = legacyFloat(2), .type = kFloat, .word = 52, .since = 8, .hundredths = true},
    {.name = "legacyFloats[3]", .place = legacyFloat(3), .type = kFloat, .word = 53, .since = 8, .hundredths = true},
    {.name = "legacyFloats[4]", .place = legacyFloat(4), .type = kFloat, .word = 54, .since = 8, .hundredths = true},
    {.name = "legacyFloats[5]", .place = legacyFloat(5), .type = kFloat, .word = 55, .since = 8, .hundredths = true},
    {.name = "legacyWords[0]", .place = legacyWord(0), .reset = kDefaults, .value = 21, .word = 56, .since = 12},
    {.name = "legacyWords[15]", .place = legacyWord(15), .word = 57, .since = 14},
    {.name = "legacyWords[18]", .place = legacyWord(18), .word = 59, .since = 17},
    {.name = "legacyColors[1]", .place = legacyColor(1), .type = kColor, .word = 60, .since = 18},
    {.name = "legacyColors[2]", .place = legacyColor(2), .type = kColor, .word = 63, .since = 18},
    {.name = "legacyColors[4]", .place = legacyColor(4), .type = kColor, .word = 67, .since = 23},
    {.name = "brickLayers", .place = member(&S::brickLayers), .reset = kDefaults, .value = 20, .range = {3, 150},
     .word = 72, .since = 30, .scripted = kYes, .key = {"0018"}},
    {.name = "legacyWords[19]", .place = legacyWord(19), .reset = kDefaults, .word = 73, .since = 30},
    {.name = "spherePlan", .place = member(&S::spherePlan), .type = kBoolean, .reset = kDefaults, .value = 1,
     .word = 74, .since = 30, .scripted = kYes, .key = {"0019"}},
    {.name = "sphereStats", .place = member(&S::sphereStats), .type = kBoolean, .reset = kDefaults, .value = 1,
     .word = 75, .since = 30, .scripted = kYes, .key = {"0020"}},
    {.name = "cubeSide", .place = member(&S::cubeSide), .reset = kDefaults, .value = 256, .range = {2, 30000},
     .word = 76, .since = 33, .scripted = kYes, .key = {"0021"}},
    {.name = "ldraw", .place = member(&S::ldraw), .type = kBoolean, .reset = kDefaults, .word = 77, .since = 35,
     .scripted = kYes, .key = {"0022"}},
    {.name = "brickDiffusion", .place = member(&S::brickDiffusion), .type = kBoolean, .reset = kDefaults,
     .word = 78, .since = 35, .scripted = kYes, .key = {"0023"}},
    {.name = "brickColorset", .place = member(&S::brickColorset), .reset = kDefaults, .value = 63,
     .range = {0, 4095}, .word = 79, .since = 35, .scripted = kYes, .key = {"0024"}},
    {.name = "brickPlates", .place = member(&S::brickPlates), .type = kBoolean, .reset = kDefaults, .word = 80,
     .since = 35, .scripted = kYes, .key = {"0025"}},
    {.name = "faceSize", .place = member(&S::faceSize), .reset = kDefaults, .value = 500, .range = {2, 30000},
     .word = 81, .since = 36, .scripted = kYes, .key = {"0026"}},
    {.name = "sharpeningInteger", .place = member(&S::sharpeningInteger), .reset = kDefaults, .value = 30,
     .word = 82, .since = 37, .scripted = kYes, .key = {"0027"}},
    {.name = "transparentGaps", .place = member(&S::transparentGaps), .type = kBoolean, .reset = kDefaults,
     .value = 1, .word = 83, .since = 38, .scripted = kYes, .key = {"0028"}},
    {.name = "edges", .place = member(&S::edges), .type = kBoolean, .reset = kDefaults, .word = 84, .since = 38,
     .scripted = kYes, .key = {"0029"}},
    {.name = "anamorphosis", .place = member(&S::anamorphosis), .type = kBoolean, .reset = kDefaults, .word = 86,
     .since = 41, .scripted = kYes, .key = {"0030"}},
    {.name = "dehalo", .place = member(&S::dehalo), .type = kBoolean, .reset = kDefaults, .word = 87, .since = 42,
     .scripted = kYes, .key = {"0031"}},
    {.name = "grid", .place = member(&S::grid), .reset = kDefaults, .value = 1, .range = {1, 7}, .word = 88,
     .since = 43, .scripted = kGridKey, .key = {"Kgky"}},
    {.name = "previewQuality", .place = member(&S::previewQuality), .reset = kDefaults, .value = 3,
     .range = {1, 3}, .word = 89, .since = 44, .scripted = kWriteOnly, .key = {"0032"}},
    {.name = "indicatrix", .place = member(&S::indicatrix), .type = kBoolean, .reset = kDefaults, .word = 90,
     .since = 46, .scripted = kYes, .key = {"0033"}},
    {.name = "latitude", .place = member(&S::latitude), .type = kFloat, .reset = kDefaults, .range = {-90, 90},
     .word = 91, .since = 47, .scripted = kYes, .key = {"0034"}},
    {.name = "longitude", .place = member(&S::longitude), .type = kFloat, .reset = kDefaults, .range = {-180, 180},
     .word = 92, .since = 47, .scripted = kYes, .key = {"0035"}},
    {.name = "spin", .place = member(&S::spin), .type = kFloat, .reset = kDefaults, .range = {-180, 180},
     .word = 93, .since = 47, .scripted = kYes, .key = {"0036"}},
    {.name = "fov", .place = member(&S::fov), .type = kFloat, .reset = kDefaults, .value = 120, .range = {0, 180},
     .word = 94, .since = 47, .scripted = kYes, .key = {"0037"}},
    {.name = "tabs", .place = member(&S::tabs), .type = kFloat, .reset = kDefaults, .value = 33, .range = {0, 100},
     .word = 95, .since = 47, .scripted = kYes, .key = {"0038"}},
    {.name = "sharpen", .place = member(&S::sharpen), .type = kFloat, .reset = kDefaults, .value = 30,
     .range = {0, 100}, .word = 96, .since = 47, .scripted = kYes, .key = {"0039"}},
    {.name = "lineColor", .place = member(&S::lineColor), .type = kColor, .reset = kDefaults,
     .color = Rgb16::from8(0, 0, 0), .word = 97, .since = 48, .scripted = kYes, .key = {"0040", "0041", "0042"}},
    // Not in files or descriptors.
    {.name = "forceTransparent", .place = member(&S::forceTransparent), .type = kBoolean, .reset = kDefaults},
    {.name = "innerProjection", .place = member(&S::innerProjection), .reset = kDefaults, .value = 6},
    {.name = "facesExportChoice", .place = member(&S::facesExportChoice), .reset = kExportOptions, .range = {0, 2}},
    {.name = "psdSizeMode", .place = member(&S::psdSizeMode), .reset = kExportOptions, .value = 1, .range = {1, 3}},
    {.name = "psdWidth", .place = member(&S::psdWidth), .reset = kExportOptions, .value = 100,
     .range = {2, 30000}},
    {.name = "psdHeight", .place = member(&S::psdHeight), .reset = kExportOptions, .value = 100,
     .range = {2, 30000}},
};
// clang-format on

constexpr bool placeFitsType(const SettingsField& f) {
    const int places = (f.place.integer != nullptr) + (f.place.real != nullptr) + (f.place.color != nullptr) +
                       (f.place.integers != nullptr) + (f.place.reals != nullptr) + (f.place.colors != nullptr);
    if (places != 1) return false;
    switch (f.type) {
        case kInteger:
        case kBoolean:
            return f.place.holdsInteger();
        case kFloat:
            return f.place.holdsFloat();
        case kColor:
            return f.place.holdsColor();
    }
    return false;
}

constexpr bool hasKey(const char (&key)[5]) { return key[0] != '\0' && key[3] != '\0' && key[4] == '\0'; }

// Every row is well formed: its place fits its type; file words ascend and a
// row with a word has a version; a scripted row has its keys (three for a
// colour); defaults lie inside ranges; only floats travel as hundredths.
constexpr bool tableIsSound() {
    int lastWord = 0;
    bool filesDone = false;
    for (const SettingsField& f : kFields) {
        if (!placeFitsType(f)) return false;
        if (f.word != 0) {
            if (filesDone || f.word <= lastWord || f.since < 1 || f.since > kSettingsVersion) return false;
            lastWord = f.word;
        } else {
            filesDone = true;
            if (f.since != 0 || f.againAt != 0) return false;
        }
        if (f.hundredths && f.type != kFloat) return false;
        if (f.range.any() && f.type != kColor && (f.value < f.range.lo || f.value > f.range.hi)) return false;
        if (f.scripted != kNo) {
            if (!hasKey(f.key[0])) return false;
            if (f.type == kColor && !(hasKey(f.key[1]) && hasKey(f.key[2]))) return false;
        } else if (f.key[0][0] != '\0') {
            return false;
        }
    }
    return true;
}
static_assert(tableIsSound(), "settings field rows: places, file words, keys and defaults must agree");

}  // namespace

std::span<const SettingsField> settingsFields() { return kFields; }

const SettingsField* findSettingsField(const char* name) {
    for (const SettingsField& f : kFields)
        if (std::strcmp(f.name, name) == 0) return &f;
    return nullptr;
}

void clampField(const SettingsField& f, SettingsRecord& r) {
    switch (f.type) {
        case FieldType::kBoolean: {
            std::int32_t& v = f.place.integerIn(r);
            v = v != 0 ? 1 : 0;
            break;
        }
        case FieldType::kInteger:
            if (f.range.any()) {
                std::int32_t& v = f.place.integerIn(r);
                v = std::clamp(v, static_cast<std::int32_t>(f.range.lo), static_cast<std::int32_t>(f.range.hi));
            }
            break;
        case FieldType::kFloat:
            if (f.range.any()) {
                float& v = f.place.floatIn(r);
                v = std::isfinite(v) ? std::clamp(v, static_cast<float>(f.range.lo), static_cast<float>(f.range.hi))
                                     : static_cast<float>(f.value);
            }
            break;
        case FieldType::kColor:
            break;
    }
}

}  // namespace globaro
