// The web pages and the keyword record through the real program, checked
// with readers we did not write: exiftool reads the record of every JPEG,
// html5lib parses the pages, and every picture a page shows exists.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "app/cli_runner.h"
#include "export/iptc.h"
#include "render/blend_modes.h"
#include "settings/memory_dots.h"
#include "settings/presets.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;
using testing_cli::runCli;

std::string run(const std::string& command) { return testing_cli::runShell(command).output; }

bool haveReaders() {
    return std::system("command -v exiftool >/dev/null && /usr/bin/python3 -c 'import html5lib' 2>/dev/null") == 0;
}

// What html5lib says of a page, and the pictures it shows that are missing.
std::string pageReport(const std::string& page) {
    return run(
        "/usr/bin/python3 -c '\n"
        "import html5lib, os, sys, urllib.parse\n"
        "p = html5lib.HTMLParser(namespaceHTMLElements=False)\n"
        "tree = p.parse(open(sys.argv[1], \"rb\").read())\n"
        "srcs = [urllib.parse.unquote(i.get(\"src\")) for i in tree.iter(\"img\")]\n"
        "where = os.path.dirname(sys.argv[1])\n"
        "missing = [s for s in srcs if not os.path.isfile(os.path.join(where, s))]\n"
        "print(\"errors\", [e[1] for e in p.errors], \"missing\", missing, \"pictures\", len(srcs))\n"
        "' '" +
        page + "'");
}

// The keywords, caption and date exiftool reads from an image.
std::string keywordsOf(const std::string& image) {
    return run("exiftool -s3 -IPTC:Keywords -IPTC:Caption-Abstract -IPTC:DateCreated '" + image + "'");
}

std::string today() {
    const IptcDate d = todaysDate();
    char text[16];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d", d.year, d.month, d.day);
    return text;
}

// The hidden files and folders under `folder` (what a write in progress
// leaves).
std::string leftBehind(const fs::path& folder) {
    std::string names = "[";
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name[0] == '.') names += name + " ";
    }
    return names + "]";
}

void savePresetFile(const std::string& path, ProjectionId output) {
    auto s = std::make_unique<SettingsRecord>();
    resetToDefaults(*s);
    s->outputProjection = output;
    ASSERT_EQ(savePreset(path, *s, nullptr), 0) << path;
}

struct Case {
    const char* what;
    std::string arguments;  // after "globaro "; none: the program is not run
    int status;
    std::string said;                    // in what the program printed
    std::function<std::string()> check;  // its answer must hold `expected`
    std::string expected;
    std::string shell = "";
};

TEST(WebExportCli, PagesPicturesAndKeywords) {
    if (!haveReaders()) GTEST_SKIP() << "exiftool or python3-html5lib is not installed";
    const fs::path dir = fs::path(::testing::TempDir()) / "globaro_web_cli";
    fs::remove_all(dir);
    fs::create_directories(dir / "presets");
    fs::create_directories(dir / "out");
    const std::string d = dir.string();
    savePresetFile(d + "/presets/a&b.q2q", 2);
    savePresetFile(d + "/presets/Caf\xc3\xa9.q2q", 16);
    std::ofstream(d + "/presets/damaged.q2q") << "not settings";
    savePresetFile(dotPath(0), 7);  // memory dot 1; the test's own temporary folder
    ASSERT_EQ(runCli("demo " + d + "/demo --size 64x32").status, 0);
    const std::string in = d + "/demo/demo-panorama.png";
    const std::string clean = "errors ['unknown-doctype']";  // the page's HTML 4.01 document type
    const Case cases[] = {
        {"a rendered JPEG carries the record", "render " + in + " " + d + "/out/r.jpg --output Mollweide --glue 2", 0,
         "wrote", [&] { return keywordsOf(d + "/out/r.jpg"); },
         "Globaro 2, Mollweide, equal-area, ellipse, " + std::string(blendModeName(2)) +
             ", panorama\n"
             "Made with Globaro 2\n" +
             today()},
        {"a PSD carries the record", "export psd " + in + " " + d + "/out/r.psd --size 32x16 --output Mollweide", 0,
         "wrote", [&] { return keywordsOf(d + "/out/r.psd"); },
         "Globaro 2, Mollweide, equal-area, ellipse, panorama\nMade with Globaro 2\n" + today()},
        {"...and its EXIF block", "", 0, "",
         [&] {
             return run("exiftool -s3 -EXIF:Software -EXIF:ImageDescription -EXIF:ModifyDate '" + d + "/out/r.psd'");
         },
         "Globaro 2\nMade with Globaro 2\n" + today() + " "},
        {"a render into a document carries both", "render " + in + " " + d + "/out/render.psb --output Mollweide", 0,
         "wrote", [&] { return keywordsOf(d + "/out/render.psb"); },
         "Globaro 2, Mollweide, equal-area, ellipse, panorama\nMade with Globaro 2\n" + today()},
        {"...and a cube face its own words", "export cube " + in + " " + d + "/out/c.psd --cube-side 8 --separate", 0,
         "wrote", [&] { return keywordsOf(d + "/out/c_d.psd"); }, "panorama, cube, cubemap, bottom"},
        {"presets: the usable ones, in order", "export presets " + d + "/presets " + d + "/out/p.html " + in, 0,
         "left out \"damaged\"", [&] { return pageReport(d + "/out/p.html"); }, clean + " missing [] pictures 2"},
        {"...each picture carries its keywords", "", 0, "", [&] { return keywordsOf(d + "/out/web_images/a&b.jpg"); },
         "Globaro 2, mirror ball,"},
        {"...gallery pictures", "", 0, "", [&] { return keywordsOf(d + "/out/web_images/a&b.jpg"); },
         "panorama, gallery, preset"},
        {"dots: dot 1", "export dots " + d + "/out/dots.html " + in + " --columns 12", 0, "1 pictures",
         [&] { return pageReport(d + "/out/dots.html"); }, clean + " missing [] pictures 1"},
        {"...named dot 1", "", 0, "", [&] { return run("grep -c 'web_images/dot%201.jpg' " + d + "/out/dots.html"); },
         "1"},
        {"modes: every drawn output", "export modes " + d + "/out/modes.html " + in + " --width 16 --columns 10", 0,
         "wrote", [&] { return pageReport(d + "/out/modes.html"); }, clean + " missing [] pictures "},
        {"nothing left behind", "", 0, "", [&] { return leftBehind(d); }, "[]"},
    };
    for (const Case& c : cases) {
        // A case without arguments looks further at what the one before made.
        const testing_cli::Outcome o = c.arguments.empty() ? testing_cli::Outcome{0, ""} : runCli(c.arguments, c.shell);
        EXPECT_EQ(o.status, c.status) << c.what << "\n" << o.output;
        EXPECT_NE(o.output.find(c.said), std::string::npos) << c.what << "\n" << o.output;
        const std::string got = c.check();
        EXPECT_NE(got.find(c.expected), std::string::npos) << c.what << "\n" << got;
    }
}

}  // namespace
}  // namespace globaro
