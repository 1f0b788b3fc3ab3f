#pragma once
// The web pages of thumbnails: a table of pictures with captions (the
// presets of a folder, the memory dots, every output projection), the
// pictures being JPEG files in a folder "web_images" beside the page.
// The page is made in memory and written as a whole through a checked file.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace globaro {

inline constexpr std::string_view kWebImagesFolder = "web_images";
inline constexpr int kPageMaxColumns = 10;
inline constexpr int kCaptionFontSize = 3;

enum class PageKind : std::int32_t {
    kPresets = 0,
    kImages = 1,
    kOutputModes = 2,
    kMemoryDots = 3,
    kPolyhedra = 4,
};

// One picture of the page.
struct PageCell {
    std::string name;  // base name of the picture: its caption, and its file name without ".jpg"
    int width = 0;     // of the picture, in pixels
    int height = 0;
    std::string link;                // wraps the picture in a link when not empty
    std::vector<std::string> notes;  // up to two small lines shown under the row
};

// A caption or path as page text: the markup characters as entities,
// the Latin-1 letters by name, codes 123..159 by number. Text that is valid
// UTF-8 is read as such (a code above 255 becomes a numeric reference);
// other bytes are taken as Latin-1.
std::string escapePageText(std::string_view text);

// A file name as part of an address: every byte other than A-Z, a-z and
// 0-9 as "%" and two hex digits.
std::string encodeAddressName(std::string_view name);

// The address of a picture named `name` ("web_images/NAME.jpg", encoded).
std::string pictureAddress(std::string_view name);

class HtmlPage {
public:
    // Starts a page; `columns` is limited to 1..10. `folder` is shown in the
    // heading of the pages of presets and images. Only one page is made at a
    // time: while another one is open, started() is false.
    HtmlPage(PageKind kind, int columns, std::string_view folder);
    ~HtmlPage();
    HtmlPage(const HtmlPage&) = delete;
    HtmlPage& operator=(const HtmlPage&) = delete;

    bool started() const { return started_; }
    int columns() const { return columns_; }

    void addCell(const PageCell& cell);
    // Closes the table and the page (further cells are not taken).
    void end();
    // The page so far (complete after end()).
    const std::string& text() const { return text_; }

    // Ends the page and writes it to `path` through a checked file. False
    // with a one-line reason naming `path`; nothing is left behind then, nor
    // when `cancel` is set before the file is in place.
    bool save(const std::string& path, std::string& error, const std::atomic<bool>* cancel = nullptr);

private:
    void endRow();

    PageKind kind_;
    int columns_;
    int column_ = 0;
    int row_ = 0;
    bool started_ = false;
    bool ended_ = false;
    std::vector<std::string> captions_;  // two per column of the current row
    std::string text_;
};

}  // namespace globaro
