#include "settings/random_settings.h"

#include <cstddef>
#include <ctime>

namespace globaro {

namespace {

struct SteppedChoice {
    int control;
    std::size_t offset;  // of the std::int32_t field in SettingsRecord
    std::int32_t last;
    bool raiseFirst;  // a value below 1 is raised to 1 before the step
};

constexpr SteppedChoice kSteppedChoices[] = {
    {81, offsetof(SettingsRecord, glue), 69, false},
    {13, offsetof(SettingsRecord, grid), 7, true},
    {110, offsetof(SettingsRecord, previewQuality), 3, true},
    {97, offsetof(SettingsRecord, inputProjection), 38, false},
    {94, offsetof(SettingsRecord, outputProjection), 414, false},
};

std::int32_t& fieldAt(SettingsRecord& record, std::size_t offset) {
    return *reinterpret_cast<std::int32_t*>(reinterpret_cast<unsigned char*>(&record) + offset);
}

void setAngles(SettingsRecord& record, std::int32_t latitude, std::int32_t longitude, std::int32_t spin) {
    setComputedLatitude(record, static_cast<float>(latitude));
    setComputedLongitude(record, static_cast<float>(longitude));
    setComputedSpin(record, static_cast<float>(spin));
}

}  // namespace

int RandomGenerator::next() {
    // The classic linear congruential rand: 15 bits from the high half.
    state_ = state_ * 1103515245u + 12345u;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
}

RandomGenerator& settingsRandom() {
    static RandomGenerator generator;
    return generator;
}

void seedFromClock(RandomGenerator& generator) { generator.seed(static_cast<std::uint32_t>(std::time(nullptr))); }

std::uint64_t randomIntMask(std::uint64_t span) {
    if (span < 2) return 1;
    std::uint64_t mask = 1;
    while (mask < span) mask = (mask << 1) | 1;
    return mask;
}

std::int32_t randomInt(RandomGenerator& generator, std::int32_t lo, std::int32_t hi) {
    if (lo > hi) {
        const std::int32_t t = lo;
        lo = hi;
        hi = t;
    }
    const auto span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo);
    const std::uint64_t mask = randomIntMask(span);
    // One draw gives 11 usable bits.
    int draws = 1;
    for (std::uint64_t bits = 0x7FF; bits < mask; bits = (bits << 11) | 0x7FF) ++draws;
    for (;;) {
        std::uint64_t r = 0;
        for (int i = 0; i < draws; ++i) r = (r << 11) | static_cast<std::uint64_t>(generator.next() >> 4);
        r &= mask;
        if (r <= span) return static_cast<std::int32_t>(static_cast<std::int64_t>(lo) + static_cast<std::int64_t>(r));
    }
}

void randomAngles(SettingsRecord& record, RandomGenerator& g) {
    const std::int32_t latitude = randomInt(g, 0, 180) - 90;
    const std::int32_t longitude = randomInt(g, 0, 180) - 180 + randomInt(g, 0, 180);
    const std::int32_t spin = randomInt(g, 0, 180) - 180 + randomInt(g, 0, 180);
    setAngles(record, latitude, longitude, spin);
    setName(record.settingsName, kRandomSettingsName);
}

void constrainedAngles(SettingsRecord& record, RandomGenerator& g) {
    const std::int32_t latitude = randomInt(g, 0, 2) * 90 - 90;
    const std::int32_t longitude = (randomInt(g, 0, 3) - 2) * 90;
    const std::int32_t spin = (randomInt(g, 0, 3) - 2) * 90;
    setAngles(record, latitude, longitude, spin);
    setName(record.settingsName, kRandomSettingsName);
}

void resetAngles(SettingsRecord& record) { setAngles(record, 0, 0, 0); }

bool stepChoice(SettingsRecord& record, int control) {
    for (const SteppedChoice& row : kSteppedChoices) {
        if (row.control != control) continue;
        std::int32_t& value = fieldAt(record, row.offset);
        if (row.raiseFirst && value < 1) value = 1;
        value = (value >= row.last || value < 0) ? 1 : value + 1;
        return true;
    }
    return false;
}

}  // namespace globaro
