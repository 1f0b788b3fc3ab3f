#include "host/terminology_resource.h"

#include <iterator>
#include <string_view>
#include <vector>

#include "host/descriptor_keys.h"
#include "projection/catalogue.h"
#include "render/blend_modes.h"

namespace globaro {

namespace {

// One descriptor key as the terminology names it. An empty description means
// "the same as the name".
struct TermParameter {
    char key[5];
    char type[5];
    std::string_view name;
    std::string_view description;
    std::uint16_t flags;
};

constexpr std::uint16_t kPlain = 0x8000;     // a plain optional parameter
constexpr std::uint16_t kEnumList = 0xA000;  // an enumerated parameter

constexpr TermParameter kParameters[] = {
    {"Vers", "long", "version", "", kPlain},
    {"0001", "long", "tab red", "", kPlain},
    {"0002", "long", "tab green", "", kPlain},
    {"0003", "long", "tab blue", "", kPlain},
    {"0004", "long", "backdrop red", "", kPlain},
    {"0005", "long", "backdrop green", "", kPlain},
    {"0006", "long", "backdrop blue", "", kPlain},
    {"Kiky", "Kity", "input", "", kEnumList},
    {"0008", "long", "latitude integer", "latitude", kPlain},
    {"0009", "long", "spin integer", "spin", kPlain},
    {"Koky", "Koty", "output", "", kPlain},
    {"0011", "long", "flip", "", kPlain},
    {"0012", "long", "longitude integer", "longitude", kPlain},
    {"0013", "long", "tabs integer", "tabs", kPlain},
    {"0014", "long", "FOV integer", "FOV", kPlain},
    {"0015", "long", "grid", "", kPlain},
    {"GLUE", "GLty", "glue", "", kEnumList},
    {"0017", "long", "faces", "", kPlain},
    {"0018", "long", "brick layers", "", kPlain},
    {"0019", "long", "sphere plan", "", kPlain},
    {"0020", "long", "sphere stats", "", kPlain},
    {"0021", "long", "cube side", "", kPlain},
    {"0022", "long", "LDraw", "", kPlain},
    {"0023", "long", "brick diffusion", "", kPlain},
    {"0024", "long", "brick colorset", "", kPlain},
    {"0025", "long", "brick plates", "", kPlain},
    {"0026", "long", "face size", "", kPlain},
    {"0027", "long", "sharpening integer", "sharpening", kPlain},
    {"0028", "long", "transparent gaps", "", kPlain},
    {"0029", "long", "edges", "", kPlain},
    {"0030", "long", "anamorphosis", "", kPlain},
    {"0031", "long", "dehalo", "", kPlain},
    {"Kgky", "Kgty", "grid2", "", kEnumList},
    {"0032", "long", "preview quality", "", kPlain},
    {"0033", "long", "indicatrix", "", kPlain},
    {"0034", "doub", "latitude", "", kPlain},
    {"0035", "doub", "longitude", "", kPlain},
    {"0036", "doub", "spin", "", kPlain},
    {"0037", "doub", "FOV", "", kPlain},
    {"0038", "doub", "tabs", "", kPlain},
    {"0039", "doub", "sharpen", "", kPlain},
};
static_assert(std::size(kParameters) == kTerminologyParameterCount);

// An enumeration entry whose name the terminology spells out itself.
struct TermEntry {
    char code[5];
    std::string_view name;
    std::string_view description;  // "" when equal to the name
};

constexpr TermEntry kGridEntries[] = {
    {"Kgr1", "none", ""},       {"Kgr2", "5 degrees", ""},  {"Kgr3", "6 degrees", ""},  {"Kgr4", "10 degrees", ""},
    {"Kgr5", "15 degrees", ""}, {"Kgr6", "30 degrees", ""}, {"Kgr7", "45 degrees", ""},
};

// The input enumeration as it has always been labelled (its codes and names
// predate the current input numbering; hosts only show them).
constexpr TermEntry kInputEntries[] = {
    {"Ki01", "equirectangular", ""},
    {"Ki02", "mirror ball", ""},
    {"Ki03", "polar", ""},
    {"Ki04", "orthographic", ""},
    {"Ki05", "cylindrical", ""},
    {"Ki06", "ellipsoid", ""},
    {"Ki07", "Mollweide", ""},
    {"Ki08", "circular 180\xE2\xAE\x9E", ""},
    {"Ki09", "full-frame 180\xE2\xAE\x9E", ""},
    {"Ki10", "one cube face", ""},
    {"Ki11", "tiling cube face", ""},
    {"Ki12", "gores: 12", ""},
    {"Ki13", "half-equi", ""},
    {"Ki14", "Nicolosi", ""},
    {"Ki15", "Stereographic", ""},
    {"Ki18", "Robinson ", "Robinson"},
    {"Ki17", "QTVR cube ", "QTVR cube"},
    {"Ki19", "mylar", ""},
    {"Ki20", "gores: 12 radial", ""},
    {"Ki21", "Mercator", ""},
    {"Ki22", "Lagrange", ""},
    {"Ki23", "Winkel Tripel", ""},
    {"Ki24", "Hammer", ""},
    {"Ki25", "equal-area cylindrical", ""},
    {"Ki26", "gores: 6", ""},
    {"Ki27", "zenith & nadir", ""},
    {"Ki28", "horizontal cross", ""},
    {"Ki29", "vertical cross", ""},
    {"Ki30", "soccer", ""},
    {"Ki31", "Ortelius oval", ""},
    {"Ki33", "spinner 360", ""},
    {"Ki32", "spinner guess", ""},
    {"Ki35", "Unity 6 frames", ""},
    {"Ki36", "Nvidia 6 frames", ""},
    {"Ki34", "flat map to sphere", ""},
};
static_assert(std::size(kInputEntries) == 35);

// Glue modes named in the terminology: 1..59, then 62 and 63.
struct IdRun {
    std::int32_t first;
    std::int32_t last;
};
constexpr IdRun kGlueRuns[] = {{1, 59}, {62, 63}};

constexpr DescriptorTypeID kEventCode = GLOBARO_FOURCC('Q', 'M', 'g', '2');
constexpr DescriptorTypeID kReplyType = GLOBARO_FOURCC('n', 'u', 'l', 'l');
constexpr DescriptorTypeID kDirectParameterType = GLOBARO_FOURCC('#', 'I', 'm', 'R');
constexpr std::uint16_t kReplyFlags = 0x0000;
constexpr std::uint16_t kDirectParameterFlags = 0xB000;

class Writer {
public:
    void u8(std::uint8_t v) { bytes_.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    // A four-character code in little-endian order: its last character first.
    void code(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void code(const char (&s)[5]) { code(fourCharCode(s)); }
    // A length byte, then the bytes (names are far below 256 bytes; a longer
    // one is cut so that the length stays true).
    void text(std::string_view s) {
        if (s.size() > 255) s = s.substr(0, 255);
        u8(static_cast<std::uint8_t>(s.size()));
        for (char c : s) u8(static_cast<std::uint8_t>(c));
    }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

void writeEntry(Writer& w, std::uint32_t code, std::string_view name, std::string_view description) {
    w.text(name);
    w.code(code);
    w.text(description.empty() ? name : description);
}

std::vector<std::uint8_t> build() {
    Writer w;
    // Header: resource version, terminology version 1.0, language, script, suites.
    w.u16(1);
    w.u8(1);
    w.u8(0);
    w.u16(0);
    w.u16(0);
    w.u16(1);

    // The suite and its one event.
    w.text("Quillmoor");
    w.text("Globaro 2");
    w.code(kEventCode);
    w.u16(1);  // level
    w.u16(1);  // version
    w.u16(1);  // events

    w.text("Globaro 2");
    w.text("Reprojects spherical panoramas");
    w.code(kEventCode);  // class
    w.code(kEventCode);  // event
    w.code(kReplyType);
    w.text("");
    w.u16(kReplyFlags);
    w.code(kDirectParameterType);
    w.text("");
    w.u16(kDirectParameterFlags);
    w.u16(static_cast<std::uint16_t>(std::size(kParameters)));
    for (const TermParameter& p : kParameters) {
        w.text(p.name);
        w.code(p.key);
        w.code(p.type);
        w.text(p.description.empty() ? p.name : p.description);
        w.u16(p.flags);
    }

    w.u16(0);  // classes
    w.u16(0);  // comparison operators
    w.u16(kTerminologyEnumerationCount);

    w.code(gridKeyTable().type());
    w.u16(static_cast<std::uint16_t>(std::size(kGridEntries)));
    for (const TermEntry& e : kGridEntries) writeEntry(w, fourCharCode(e.code), e.name, e.description);

    w.code(inputKeyTable().type());
    w.u16(static_cast<std::uint16_t>(std::size(kInputEntries)));
    for (const TermEntry& e : kInputEntries) writeEntry(w, fourCharCode(e.code), e.name, e.description);

    w.code(outputKeyTable().type());
    w.u16(static_cast<std::uint16_t>(kTerminologyOutputEntries));
    int outputs = 0;
    outputKeyTable().forEach([&](std::int32_t id, DescriptorEnumID key) {
        if (outputs >= kTerminologyOutputEntries) return;
        writeEntry(w, key, outputProjectionName(id), "");
        ++outputs;
    });

    w.code(glueKeyTable().type());
    std::uint16_t glueCount = 0;
    for (const IdRun& r : kGlueRuns) glueCount = static_cast<std::uint16_t>(glueCount + r.last - r.first + 1);
    w.u16(glueCount);
    for (const IdRun& r : kGlueRuns)
        for (std::int32_t id = r.first; id <= r.last; ++id)
            writeEntry(w, glueKeyTable().keyFor(id), blendModeName(id), "");

    return w.take();
}

}  // namespace

std::span<const std::uint8_t> terminologyBytes() {
    static const std::vector<std::uint8_t> bytes = build();
    return bytes;
}

}  // namespace globaro
