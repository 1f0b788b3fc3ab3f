#include "host/plugin_properties.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "host/filter_record.h"

namespace globaro {

namespace {

constexpr std::uint32_t fourcc(const char (&s)[5]) { return GLOBARO_FOURCC(s[0], s[1], s[2], s[3]); }

// Builds the list in a fixed buffer at compile time.
struct Builder {
    std::array<std::uint8_t, 1024> bytes{};
    std::size_t size = 0;
    std::size_t countAt = 0;
    std::size_t lengthAt = 0;
    std::int32_t count = 0;

    constexpr void u8(std::uint8_t v) { bytes[size++] = v; }
    constexpr void u16(std::uint16_t v) {  // native (little-endian) order
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    constexpr void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    constexpr void patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    constexpr void pad4() {
        while (size % 4 != 0) u8(0);
    }
    constexpr void cString(std::string_view s) {
        for (char c : s) u8(static_cast<std::uint8_t>(c));
        u8(0);
    }
    constexpr void pascalString(std::string_view s) {
        u8(static_cast<std::uint8_t>(s.size()));
        for (char c : s) u8(static_cast<std::uint8_t>(c));
    }
    constexpr void begin() {
        u32(0);  // list version
        countAt = size;
        u32(0);
    }
    constexpr void open(const char (&key)[5]) {
        u32(fourcc("8BIM"));
        u32(fourcc(key));
        u32(0);  // property id
        lengthAt = size;
        u32(0);
    }
    constexpr void close() {
        pad4();
        patch32(lengthAt, static_cast<std::uint32_t>(size - lengthAt - 4));
        patch32(countAt, static_cast<std::uint32_t>(++count));
    }
};

constexpr Builder build() {
    Builder b;
    b.begin();
    b.open("kind");
    b.u32(fourcc("8BFM"));
    b.close();
    b.open("name");
    b.pascalString("Globaro 2...");
    b.close();
    b.open("catg");
    b.pascalString("Quillmoor");
    b.close();
    b.open("vers");
    b.u32((4u << 16) | 0u);  // interface version 4.0
    b.close();
    b.open("8664");
    b.cString("PluginMain");
    b.close();
    b.open("hstm");
    b.u32(0);               // version
    b.u32(fourcc("QMg2"));  // class
    b.u32(fourcc("QMg2"));  // event
    b.u16(static_cast<std::uint16_t>(kPropertyListResourceId));
    b.cString("Quillmoor Globaro 2");
    b.close();
    b.open("mode");
    b.u8(0x50);  // greyscale and RGB
    b.u8(0x00);
    b.close();
    for (int i = 0; i < 2; ++i) {
        b.open("enbl");
        b.cString(kEnableCondition);
        b.close();
    }
    b.open("fici");
    for (int filterCase = 0; filterCase < 7; ++filterCase) {
        b.u8(0);  // input: straight data
        b.u8(0);  // output: straight data
        b.u8(1);  // the host need not copy the source to the destination
        b.u8(0);
    }
    b.close();
    return b;
}

constexpr Builder kBuilt = build();

template <std::size_t N>
constexpr std::array<std::uint8_t, N> trimmed() {
    std::array<std::uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = kBuilt.bytes[i];
    return out;
}

}  // namespace

// Kept in its own section so that hosts can read it from the file without
// loading the module.
__attribute__((section(".pipl"), used)) constexpr std::array<std::uint8_t, kBuilt.size> kPropertyBytes =
    trimmed<kBuilt.size>();

std::span<const std::uint8_t> pluginPropertyBytes() { return kPropertyBytes; }

}  // namespace globaro
