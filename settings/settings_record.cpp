#include "settings/settings_record.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace globaro {

namespace {

// Default colours: tabs are the 8-bit colour 215, 172, 220; the backdrop is white.
constexpr Rgb16 kDefaultTabColor = Rgb16::from8(215, 172, 220);
constexpr Rgb16 kDefaultBackdropColor = Rgb16::from8(255, 255, 255);
constexpr Rgb16 kDefaultLineColor = Rgb16::from8(0, 0, 0);

#define GLOBARO_RANGE(field, type, lo, hi, fallback) \
    SettingsRange { #field, lo, hi, fallback, offsetof(SettingsRecord, field), SettingsFieldType::type }

const SettingsRange kRanges[] = {
    GLOBARO_RANGE(glue, kInt32, 1, 69, 1),
    GLOBARO_RANGE(latitude, kFloat, -90, 90, 0),
    GLOBARO_RANGE(longitude, kFloat, -180, 180, 0),
    GLOBARO_RANGE(spin, kFloat, -180, 180, 0),
    GLOBARO_RANGE(fov, kFloat, 0, 180, 120),
    GLOBARO_RANGE(tabs, kFloat, 0, 100, 33),
    GLOBARO_RANGE(sharpen, kFloat, 0, 100, 30),
    GLOBARO_RANGE(brickLayers, kInt32, 3, 150, 20),
    GLOBARO_RANGE(brickColorset, kInt32, 0, 4095, 63),
    GLOBARO_RANGE(cubeSide, kInt32, 2, 30000, 256),
    GLOBARO_RANGE(faceSize, kInt32, 2, 30000, 500),
    GLOBARO_RANGE(psdWidth, kInt32, 2, 30000, 100),
    GLOBARO_RANGE(psdHeight, kInt32, 2, 30000, 100),
    GLOBARO_RANGE(psdSizeMode, kInt32, 1, 3, 1),
    GLOBARO_RANGE(facesExportChoice, kInt32, 0, 2, 0),
    GLOBARO_RANGE(grid, kInt32, 1, 7, 1),
    GLOBARO_RANGE(gridLegacy, kInt32, 0, 7, 0),
    GLOBARO_RANGE(previewQuality, kInt32, 1, 3, 3),
    GLOBARO_RANGE(flip, kBoolean, 0, 1, 0),
    GLOBARO_RANGE(faces, kBoolean, 0, 1, 0),
    GLOBARO_RANGE(spherePlan, kBoolean, 0, 1, 1),
    GLOBARO_RANGE(sphereStats, kBoolean, 0, 1, 1),
    GLOBARO_RANGE(ldraw, kBoolean, 0, 1, 0),
    GLOBARO_RANGE(brickDiffusion, kBoolean, 0, 1, 0),
    GLOBARO_RANGE(brickPlates, kBoolean, 0, 1, 0),
    GLOBARO_RANGE(transparentGaps, kBoolean, 0, 1, 1),
    GLOBARO_RANGE(indicatrix, kBoolean, 0, 1, 0),
    GLOBARO_RANGE(edges, kBoolean, 0, 1, 0),
    GLOBARO_RANGE(anamorphosis, kBoolean, 0, 1, 0),
    GLOBARO_RANGE(forceTransparent, kBoolean, 0, 1, 0),
    GLOBARO_RANGE(dehalo, kBoolean, 0, 1, 0),
};

#undef GLOBARO_RANGE

std::int32_t truncateToInt(float degrees) {
    if (!std::isfinite(degrees)) return 0;
    return static_cast<std::int32_t>(std::trunc(std::clamp(degrees, -2.0e9f, 2.0e9f)));
}

}  // namespace

void resetToDefaults(SettingsRecord& r) {
    r.inputProjection = 1;
    r.outputProjection = 1;
    r.latitude = r.longitude = r.spin = 0.0f;
    r.latitudeInteger = r.longitudeInteger = r.spinInteger = 0;
    r.fov = 120.0f;
    r.fovInteger = 120;
    r.tabs = 33.0f;
    r.tabsInteger = 33;
    r.sharpen = 30.0f;
    r.sharpeningInteger = 30;
    r.tabColor = kDefaultTabColor;
    r.backdropColor = kDefaultBackdropColor;
    r.lineColor = kDefaultLineColor;
    r.flip = 0;
    r.hqpr = 0;
    r.legacyWords[0] = 21;
    r.glue = 1;
    r.gridLegacy = 0;
    r.faces = 0;
    r.brickLayers = 20;
    r.legacyWords[19] = 0;
    r.brickColorset = 63;
    r.spherePlan = 1;
    r.sphereStats = 1;
    r.ldraw = r.brickDiffusion = r.brickPlates = 0;
    r.cubeSide = 256;
    r.faceSize = 500;
    r.transparentGaps = 1;
    r.indicatrix = r.edges = r.anamorphosis = r.forceTransparent = r.dehalo = 0;
    r.grid = 1;
    r.previewQuality = 3;
    r.innerProjection = 6;
}

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

void resetExportOptions(SettingsRecord& r) {
    r.facesExportChoice = 0;
    r.psdSizeMode = 1;
    r.psdWidth = 100;
    r.psdHeight = 100;
}

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

std::span<const SettingsRange> settingsRanges() { return kRanges; }

void clampToRanges(SettingsRecord& record) {
    auto* base = reinterpret_cast<unsigned char*>(&record);
    for (const SettingsRange& row : kRanges) {
        unsigned char* at = base + row.offset;
        switch (row.type) {
            case SettingsFieldType::kFloat: {
                float v;
                std::memcpy(&v, at, sizeof v);
                v = std::isfinite(v) ? std::clamp(v, static_cast<float>(row.minimum),
                                                  static_cast<float>(row.maximum))
                                     : static_cast<float>(row.fallback);
                std::memcpy(at, &v, sizeof v);
                break;
            }
            case SettingsFieldType::kInt32: {
                std::int32_t v;
                std::memcpy(&v, at, sizeof v);
                v = std::clamp(v, static_cast<std::int32_t>(row.minimum),
                               static_cast<std::int32_t>(row.maximum));
                std::memcpy(at, &v, sizeof v);
                break;
            }
            case SettingsFieldType::kBoolean: {
                std::int32_t v;
                std::memcpy(&v, at, sizeof v);
                v = v != 0 ? 1 : 0;
                std::memcpy(at, &v, sizeof v);
                break;
            }
        }
    }
    record.settingsName[kNameCapacity - 1] = '\0';
    record.settingsFolder[kNameCapacity - 1] = '\0';
    record.saveFolder[kNameCapacity - 1] = '\0';
    record.sourceFolder[kNameCapacity - 1] = '\0';
}

}  // namespace globaro
