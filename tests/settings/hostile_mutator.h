#pragma once
// A seeded byte mutator for the hostile-input tests: from valid samples it
// flips, overwrites, truncates, extends, splices, deletes and repeats bytes and
// sets words to extremes; only raw std::mt19937 output, so every run is the same.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

namespace globaro::hostile {

class Mutator {
public:
    explicit Mutator(std::uint32_t seed) : engine_(seed) {}

    // A number in 0..n-1 (0 when n is 0).
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(engine_() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }
    std::uint32_t raw() { return static_cast<std::uint32_t>(engine_()); }

    // A 32-bit value a length or count field should never hold, or one on an edge.
    std::uint32_t extremeWord(std::size_t size) {
        const auto n = static_cast<std::uint32_t>(size);
        const std::uint32_t values[] = {0u,          1u,          2u,          3u,          4u,          0x7Fu,
                                        0x80u,       0xFFu,       0x100u,      0x7FFFu,     0x8000u,     0xFFFFu,
                                        0x10000u,    0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFF00u,
                                        0x40000000u, 0x00C000u,   n,           n + 1,       n - 1,       n * 2};
        return values[below(std::size(values))];
    }

    void putWord(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, bool bigEndian) {
        for (int i = 0; i < 4 && at + static_cast<std::size_t>(i) < b.size(); ++i) {
            const int shift = bigEndian ? 24 - 8 * i : 8 * i;
            b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> shift);
        }
    }

    // One random change. `others` may supply material to splice in.
    void mutateOnce(std::vector<std::uint8_t>& b, std::span<const std::vector<std::uint8_t>> others) {
        const auto at = [&b](std::size_t i) { return b.begin() + std::ptrdiff_t(i); };
        const std::size_t what = below(10);
        if (b.empty() && (what < 2 || what > 4)) return;  // nothing to change in place
        switch (what) {
            case 0:  // flip bits
                for (std::size_t n = 1 + below(4); n > 0; --n) b[below(b.size())] ^= std::uint8_t(1u << below(8));
                break;
            case 1:  // overwrite bytes
                for (std::size_t n = 1 + below(8); n > 0; --n)
                    b[below(b.size())] = chance(50) ? std::uint8_t(raw()) : (chance(50) ? 0xFF : 0x00);
                break;
            case 2:  // truncate
                b.resize(below(b.size() + 1));
                break;
            case 3: {  // extend with random or repeated bytes
                const std::size_t n = 1 + below(chance(10) ? 4096 : 64);
                const std::uint8_t fill = std::uint8_t(raw());
                const bool random = chance(50);
                for (std::size_t i = 0; i < n; ++i) b.push_back(random ? std::uint8_t(raw()) : fill);
                break;
            }
            case 4: {  // splice in part of another sample (or of itself)
                const std::vector<std::uint8_t>& from = others.empty() || chance(30) ? b : others[below(others.size())];
                if (from.empty()) break;
                const std::size_t start = below(from.size());
                const std::size_t n = 1 + below(std::min<std::size_t>(from.size() - start, 512));
                const std::vector<std::uint8_t> chunk(from.begin() + std::ptrdiff_t(start),
                                                      from.begin() + std::ptrdiff_t(start + n));
                const std::size_t to = below(b.size() + 1);
                if (chance(50))
                    b.insert(at(to), chunk.begin(), chunk.end());
                else
                    std::copy_n(chunk.begin(), std::min(chunk.size(), b.size() - to), at(to));
                break;
            }
            case 5: {  // delete a range
                const std::size_t from = below(b.size());
                b.erase(at(from), at(from + 1 + below(std::min<std::size_t>(b.size() - from, 64))));
                break;
            }
            case 6:  // an extreme word, aligned
            case 7: {
                if (b.size() < 4) break;
                const std::size_t word = below(b.size() / 4) * 4;
                putWord(b, word, extremeWord(b.size()), chance(50));
                break;
            }
            case 8:  // an extreme word anywhere
                putWord(b, below(b.size()), extremeWord(b.size()), chance(50));
                break;
            default: {  // repeat a range in place
                const std::size_t from = below(b.size());
                const std::vector<std::uint8_t> chunk(
                    at(from), at(from + 1 + below(std::min<std::size_t>(b.size() - from, 128))));
                b.insert(at(from), chunk.begin(), chunk.end());
                break;
            }
        }
    }

    // A mutated copy of a random sample: one to four changes.
    std::vector<std::uint8_t> mutate(std::span<const std::vector<std::uint8_t>> samples) {
        std::vector<std::uint8_t> b = samples[below(samples.size())];
        for (std::size_t n = 1 + below(4); n > 0; --n) mutateOnce(b, samples);
        return b;
    }

private:
    std::mt19937 engine_;
};

}  // namespace globaro::hostile
