// The web pages and the keyword record: the bytes they must hold, the
// limits of the keyword list, and pages that cannot be written.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "export/html_page.h"
#include "export/iptc.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;

PageCell cell(const std::string& name) { return {name, 40, 20, "", {}}; }

// A page of `count` cells named c0, c1, ... in `columns` columns.
std::string pageOf(int columns, int count, PageKind kind = PageKind::kOutputModes) {
    HtmlPage page(kind, columns, "");
    for (int i = 0; i < count; ++i) page.addCell(cell("c" + std::to_string(i)));
    page.end();
    return page.text();
}

std::string keywordsOf(const std::function<void(KeywordList&)>& fill) {
    KeywordList list;
    fill(list);
    std::string joined;
    for (const std::string& w : list.words) joined += w + ",";
    return joined;
}

// The record of a plain render at the default settings, as a module run
// leaves them (a page thumbnail's export kind).
std::string plainRenderRecord() {
    SettingsRecord s{};
    resetToDefaults(s);
    s.exportKind = kExportThumbnail;
    KeywordList list;
    addSettingsKeywords(list, s);
    addExportKeywords(list, ExportPicture{}, kKeywordJobPlain);
    return buildIptcResource(list, true, {2026, 12, 7});
}

// Saving a page to `path`: the one-line reason, or "ok".
std::string savePage(const std::string& path) {
    HtmlPage page(PageKind::kMemoryDots, 4, "");
    page.addCell(cell("dot 1"));
    std::string error;
    if (page.save(path, error)) return "ok";
    EXPECT_EQ(error.find('\n'), std::string::npos);
    return error;
}

std::string dataset(int number, const std::string& data) {
    return std::string{'\x1c', '\x02', static_cast<char>(number), '\0', static_cast<char>(data.size())} + data;
}

// Where one row of pictures ends and the next begins.
constexpr const char* kRowEnd = "</tr>\r\n<tr>";

enum class Match { kContains, kEnds, kEquals };

struct Case {
    const char* what;
    std::function<std::string()> make;
    std::string expected;
    Match match = Match::kContains;
};

TEST(WebExport, BytesAndLimits) {
    const std::string dir = ::testing::TempDir() + "globaro_web_unit";
    fs::remove_all(dir);
    fs::create_directories(dir);
    mkfifo((dir + "/pipe.html").c_str(), 0600);
    const std::string record40 = buildIptcResource({}, true, {2026, 1, 2});
    const std::string address(kMakerWebAddress);
    // Version, source, date, caption and product, padded to even.
    const std::size_t recordLength = (7 + 5 + address.size() + 13 + 24 + 14 + 1) / 2 * 2;
    const Case cases[] = {
        // Pages.
        {"12 columns give rows of 10", [] { return pageOf(12, 11).substr(0, pageOf(12, 11).find(kRowEnd)); },
         "c9</font>", Match::kContains},
        {"...and the 11th cell opens the next row", [] { return pageOf(12, 11).substr(pageOf(12, 11).find(kRowEnd)); },
         "c10</font>"},
        {"a caption a&b", [] { return escapePageText("a&b"); }, "a&amp;b", Match::kEquals},
        {"character 200 as Latin-1", [] { return escapePageText("\xc8"); }, "&Egrave;", Match::kEquals},
        {"character 200 as UTF-8", [] { return escapePageText("\xc3\x88"); }, "&Egrave;", Match::kEquals},
        {"markup, 123..159, above 255", [] { return escapePageText("<\"x\">{~\x7f\xe2\x82\xac"); },
         "&lt;&quot;x&quot;&gt;&#123;&#126;&#127;&#8364;", Match::kEquals},
        {"memory dot 1's picture", [] { return pictureAddress("dot 1"); }, "web_images/dot%201.jpg", Match::kEquals},
        {"the cell's image tag",
         [] {
             HtmlPage page(PageKind::kMemoryDots, 3, "");
             page.addCell({"dot 1", 100, 50, "", {}});
             return page.text();
         },
         "height=57><tr><td colspan=\"3\"></td></tr><tr><td></td><td><img src=\"web_images/dot%201.jpg\" "
         "alt=\"dot 1.jpg\" width=\"100\" height=\"50\" border=\"0\">"},
        {"a link wraps the picture",
         [] {
             HtmlPage page(PageKind::kImages, 3, "");
             page.addCell({"a", 1, 1, "big/a.png", {}});
             return page.text();
         },
         "<div class=\"wsite-image wsite-image-border-none\"><a href='big/a.png'><img src=\"web_images/a.jpg\""},
        {"notes make a caption row",
         [] {
             HtmlPage page(PageKind::kPresets, 2, "");
             page.addCell({"a", 1, 1, "", {"one", "t&o"}});
             page.addCell(cell("b"));
             return page.text();
         },
         "</tr><tr><td align=\"center\" valign=\"top\" width=\"20%\"><i><font size=\"-1\" color=\"#a6a6a6\" "
         "face=\"Hoefler Text, Times New Roman,Georgia,Times\">one<br>t&amp;o\r\n\r\n</font></i></td>"},
        {"the last row is filled", [] { return pageOf(3, 1); },
         "<b></b></font></p></div></td></tr>\r\n<tr></table><br>\r\n</body></html>", Match::kEnds},
        {"no presets: the head and an empty table", [] { return pageOf(5, 0, PageKind::kPresets); },
         "cellpadding=\"0\" align=\"center\"><tr></table><br>\r\n</body></html>", Match::kEnds},
        {"the head of a page of presets",
         [] {
             HtmlPage page(PageKind::kPresets, 5, "/p\xe9");
             return page.text();
         },
         "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n\r\n<html><head><meta "
         "http-equiv=\"content-type\" content=\"text/html;charset=ISO-8859-1\"><meta name=\"generator\" "
         "content=\"Quillmoor Globaro 2\"><title>Globaro 2 presets</title></head>\r\n\r\n<body "
         "bgcolor=\"#ffffff\"><p><br>\r\n\r\n<font size=\"4\" color=\"000000\" "
         "face=\"Gill Sans,Verdana,Helvetica,Arial,Geneva\"><b>Globaro 2 presets from /p&eacute;<br>\r\n</b></font>"
         "</p><table width=\"100%\" border=\"0\" cellspacing=\"12\" cellpadding=\"0\" align=\"center\">"},
        {"one page at a time",
         [] {
             HtmlPage first(PageKind::kMemoryDots, 1, "");
             HtmlPage second(PageKind::kMemoryDots, 1, "");
             return std::string(first.started() ? "first " : "") + (second.started() ? "second" : "");
         },
         "first ", Match::kEquals},
        // Keywords.
        {"the plain render's record ends with panorama", plainRenderRecord, dataset(25, "panorama"), Match::kEnds},
        {"...after the fixed datasets and the settings' words", plainRenderRecord,
         dataset(25, "Globaro 2") + dataset(25, "equirectangular") + dataset(25, "cylindrical") +
             dataset(25, "panorama")},
        {"the record's resource header and fixed datasets", [&] { return record40.substr(0, 26 + 7 + 5); },
         std::string("Photoshop 3.0\0"
                     "8BIM\x04\x04\0\0\0\0\0",
                     25) +
             static_cast<char>(recordLength) + dataset(0, std::string("\0\2", 2)) + dataset(115, address).substr(0, 5),
         Match::kEquals},
        {"...the date, caption, product, pad to even", [&] { return record40; },
         dataset(55, "20260102") + dataset(120, "Made with Globaro 2") + dataset(25, "Globaro 2") + '\0', Match::kEnds},
        {"without the JPEG header", [] { return buildIptcResource({}, false).substr(0, 6); }, "8BIM\x04\x04",
         Match::kEquals},
        {"49 characters kept, 50, empty and repeats dropped",
         [] {
             return keywordsOf([](KeywordList& l) {
                 for (const char* w : {"a", "", "a"}) addKeyword(l, w);
                 addKeyword(l, std::string(49, 'x'));
                 addKeyword(l, std::string(50, 'y'));
             });
         },
         "a," + std::string(49, 'x') + ",", Match::kEquals},
        {"19 keywords at most",
         [] {
             return keywordsOf([](KeywordList& l) {
                 for (int i = 1; i <= 20; ++i) addKeyword(l, "k" + std::to_string(i));
             });
         },
         "k18,k19,", Match::kEnds},
        {"a cube face, and cube after cubemap",
         [] {
             return keywordsOf([](KeywordList& l) {
                 addKeyword(l, "cubemap");
                 addExportKeywords(l, {kExportCubeMap, 7, 4, 3}, kKeywordJobGallery);
             });
         },
         "cubemap,cube,HDR,high dynamic range,panorama,left,270,gallery,preset,", Match::kEquals},
        {"settings: the faces of a net name their solid",
         [] {
             SettingsRecord s{};
             resetToDefaults(s);
             s.exportKind = kExportPolyFaces;
             s.outputProjection = 7;
             return keywordsOf([&](KeywordList& l) { addSettingsKeywords(l, s); });
         },
         "cube,cubemap,polyhedron,exportable 3D geometry,", Match::kEquals},
        {"settings: bricks, graticule, anamorphic, glue",
         [] {
             SettingsRecord s{};
             resetToDefaults(s);
             s.exportKind = kExportBrickSphere;
             s.gridLegacy = 3;
             s.anamorphosis = 1;
             s.glue = 2;
             return keywordsOf([&](KeywordList& l) { addSettingsKeywords(l, s); });
         },
         "bricks,grid,graticule,anamorphic,", Match::kContains},
        // Pages that cannot be written.
        {"an unwritable folder", [&] { return savePage("/proc/globaro.html"); }, "\"/proc/globaro.html\""},
        {"a device or pipe is not replaced", [&] { return savePage(dir + "/pipe.html"); }, "not a regular file"},
        {"a folder that is missing", [&] { return savePage(dir + "/none/p.html"); }, dir + "/none/p.html"},
        {"nothing left behind", [&] { return std::to_string(std::distance(fs::directory_iterator(dir), {})); }, "1",
         Match::kEquals},
    };
    for (const Case& c : cases) {
        const std::string got = c.make();
        const std::size_t at = got.rfind(c.expected);
        switch (c.match) {
            case Match::kContains:
                EXPECT_NE(at, std::string::npos) << c.what << "\n" << got;
                break;
            case Match::kEnds:
                EXPECT_TRUE(at != std::string::npos && at + c.expected.size() == got.size()) << c.what << "\n" << got;
                break;
            case Match::kEquals:
                EXPECT_EQ(got, c.expected) << c.what;
                break;
        }
    }
}

}  // namespace
}  // namespace globaro
