#include "settings/settings_record.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "settings/settings_fields.h"

namespace globaro {

namespace {

// Gives every field of one reset group its default.
void resetFields(SettingsRecord& r, FieldReset group) {
    for (const SettingsField& f : settingsFields()) {
        if (f.reset != group) continue;
        switch (f.type) {
            case FieldType::kInteger:
            case FieldType::kBoolean:
                f.place.integerIn(r) = static_cast<std::int32_t>(f.value);
                break;
            case FieldType::kFloat:
                f.place.floatIn(r) = static_cast<float>(f.value);
                break;
            case FieldType::kColor:
                f.place.colorIn(r) = f.color;
                break;
        }
    }
}

std::int32_t truncateToInt(float degrees) {
    if (!std::isfinite(degrees)) return 0;
    return static_cast<std::int32_t>(std::trunc(std::clamp(degrees, -2.0e9f, 2.0e9f)));
}

}  // namespace

void resetToDefaults(SettingsRecord& r) { resetFields(r, FieldReset::kDefaults); }

void resetRunState(SettingsRecord& r) {
    r.previewStep = 1;
    r.renderTarget = kRenderToHost;
    r.progressTotal = 1;
    r.progressDone = 1;
    r.previewTop = 0;
    r.previewLeft = 0;
    r.version = kVersionUnread;
    r.glue = 1;
}

void resetExportOptions(SettingsRecord& r) { resetFields(r, FieldReset::kExportOptions); }

void saveSnapshot(const SettingsRecord& r, SettingsSnapshot& s) {
    std::memcpy(s.settingsName, r.settingsName, kNameCapacity);
    s.lineColor = r.lineColor;
    s.tabColor = r.tabColor;
    s.backdropColor = r.backdropColor;
    std::copy(std::begin(r.legacyColors), std::end(r.legacyColors), s.legacyColors);
    s.inputProjection = r.inputProjection;
    std::copy(r.legacyWords + 1, r.legacyWords + 4, s.legacyWords1to3);
    s.latitudeInteger = r.latitudeInteger;
    s.spinInteger = r.spinInteger;
    std::copy(r.legacyWords + 4, r.legacyWords + 8, s.legacyWords4to7);
    s.outputProjection = r.outputProjection;
    s.flip = r.flip;
    s.hqpr = r.hqpr;
    s.gridLegacy = r.gridLegacy;
    s.legacyWord8 = r.legacyWords[8];
    s.longitudeInteger = r.longitudeInteger;
    s.tabsInteger = r.tabsInteger;
    s.sharpeningInteger = r.sharpeningInteger;
    s.legacyWord9 = r.legacyWords[9];
    s.fovInteger = r.fovInteger;
    std::copy(r.legacyWords + 10, r.legacyWords + 16, s.legacyWords10to15);
    s.faces = r.faces;
    std::copy(r.legacyWords + 16, r.legacyWords + 18, s.legacyWords16to17);
    s.legacyWord0 = r.legacyWords[0];
    std::copy(std::begin(r.legacyFloats), std::end(r.legacyFloats), s.legacyFloats);
    s.glue = r.glue;
    s.transparentGaps = r.transparentGaps;
    s.indicatrix = r.indicatrix;
    s.edges = r.edges;
    s.anamorphosis = r.anamorphosis;
    s.dehalo = r.dehalo;
    s.grid = r.grid;
    s.latitude = r.latitude;
    s.longitude = r.longitude;
    s.spin = r.spin;
    s.fov = r.fov;
    s.tabs = r.tabs;
    s.sharpen = r.sharpen;
}

void restoreSnapshot(const SettingsSnapshot& s, SettingsRecord& r) {
    std::memcpy(r.settingsName, s.settingsName, kNameCapacity);
    r.settingsName[kNameCapacity - 1] = '\0';
    r.lineColor = s.lineColor;
    r.tabColor = s.tabColor;
    r.backdropColor = s.backdropColor;
    std::copy(std::begin(s.legacyColors), std::end(s.legacyColors), r.legacyColors);
    r.inputProjection = s.inputProjection;
    std::copy(std::begin(s.legacyWords1to3), std::end(s.legacyWords1to3), r.legacyWords + 1);
    r.latitudeInteger = s.latitudeInteger;
    r.spinInteger = s.spinInteger;
    std::copy(std::begin(s.legacyWords4to7), std::end(s.legacyWords4to7), r.legacyWords + 4);
    r.outputProjection = s.outputProjection;
    r.flip = s.flip;
    r.hqpr = s.hqpr;
    r.gridLegacy = s.gridLegacy;
    r.legacyWords[8] = s.legacyWord8;
    r.longitudeInteger = s.longitudeInteger;
    r.tabsInteger = s.tabsInteger;
    r.sharpeningInteger = s.sharpeningInteger;
    r.legacyWords[9] = s.legacyWord9;
    r.fovInteger = s.fovInteger;
    std::copy(std::begin(s.legacyWords10to15), std::end(s.legacyWords10to15), r.legacyWords + 10);
    r.faces = s.faces;
    std::copy(std::begin(s.legacyWords16to17), std::end(s.legacyWords16to17), r.legacyWords + 16);
    r.legacyWords[0] = s.legacyWord0;
    std::copy(std::begin(s.legacyFloats), std::end(s.legacyFloats), r.legacyFloats);
    r.glue = s.glue;
    r.transparentGaps = s.transparentGaps;
    r.indicatrix = s.indicatrix;
    r.edges = s.edges;
    r.anamorphosis = s.anamorphosis;
    r.dehalo = s.dehalo;
    r.grid = s.grid;
    r.latitude = s.latitude;
    r.longitude = s.longitude;
    r.spin = s.spin;
    r.fov = s.fov;
    r.tabs = s.tabs;
    r.sharpen = s.sharpen;
}

void syncAnglesFromIntegers(SettingsRecord& r) {
    if (r.version < 1 || r.version > 46) return;
    r.latitude = static_cast<float>(r.latitudeInteger);
    r.longitude = static_cast<float>(r.longitudeInteger);
    r.spin = static_cast<float>(r.spinInteger);
    r.fov = static_cast<float>(r.fovInteger);
    r.tabs = static_cast<float>(r.tabsInteger);
    r.sharpen = static_cast<float>(r.sharpeningInteger);
}

void setComputedLatitude(SettingsRecord& r, float degrees) {
    r.latitude = degrees;
    r.latitudeInteger = truncateToInt(degrees);
}

void setComputedLongitude(SettingsRecord& r, float degrees) {
    r.longitude = degrees;
    r.longitudeInteger = truncateToInt(degrees);
}

void setComputedSpin(SettingsRecord& r, float degrees) {
    r.spin = degrees;
    r.spinInteger = truncateToInt(degrees);
}

void setComputedFov(SettingsRecord& r, float degrees) {
    r.fov = degrees;
    r.fovInteger = truncateToInt(degrees);
}

void setProgressTotal(SettingsRecord& r, std::int32_t total) { r.progressTotal = std::max(total, 1); }

void setProgressDone(SettingsRecord& r, std::int32_t done) {
    r.progressDone = done < 1 ? 1 : std::min(done, r.progressTotal);
}

void setName(char (&field)[kNameCapacity], const char* text) {
    if (text == nullptr) text = "";
    std::size_t n = strnlen(text, kNameCapacity - 1);
    std::memcpy(field, text, n);
    field[n] = '\0';
}

void clampToRanges(SettingsRecord& record) {
    for (const SettingsField& field : settingsFields()) clampField(field, record);
    record.settingsName[kNameCapacity - 1] = '\0';
    record.settingsFolder[kNameCapacity - 1] = '\0';
    record.saveFolder[kNameCapacity - 1] = '\0';
    record.sourceFolder[kNameCapacity - 1] = '\0';
}

}  // namespace globaro
