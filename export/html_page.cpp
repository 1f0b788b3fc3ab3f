#include "export/html_page.h"

#include <algorithm>
#include <cstdio>

#include "platform/checked_file.h"

namespace globaro {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kProduct = "Globaro 2";
constexpr std::string_view kCellStart = "<td align=\"center\" valign=\"top\" width=\"20%\">";

// HTML 4's names of the Latin-1 characters 160..255.
constexpr std::string_view kLatin1Names[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

struct KindWords {
    std::string_view title;
    std::string_view heading;
    bool namesFolder;
};

KindWords wordsOf(PageKind kind) {
    switch (kind) {
        case PageKind::kPresets:
            return {" presets", " presets from ", true};
        case PageKind::kImages:
            return {" images", " images from ", true};
        case PageKind::kOutputModes:
            return {" output modes", " output modes ", false};
        case PageKind::kMemoryDots:
            return {" memory dots", " memory dots ", false};
        case PageKind::kPolyhedra:
            break;
    }
    return {" polyhedra", "", false};
}

// The code point of a UTF-8 sequence at `text[at]` and its length, or 0
// when the bytes there are not one.
std::size_t utf8At(std::string_view text, std::size_t at, std::uint32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    const std::size_t length = lead >= 0xf0 && lead < 0xf5 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 0;
    if (length == 0 || lead >= 0xf5 || at + length > text.size()) return 0;
    code = lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3f);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code < 0xe000)) return 0;
    return length;
}

void appendCharacter(std::string& out, std::uint32_t code) {
    char number[16];
    switch (code) {
        case 34:
            out += "&quot;";
            return;
        case 38:
            out += "&amp;";
            return;
        case 60:
            out += "&lt;";
            return;
        case 62:
            out += "&gt;";
            return;
        default:
            break;
    }
    if (code >= 123 && code <= 159) {
        std::snprintf(number, sizeof number, "&#%03u;", static_cast<unsigned>(code));
        out += number;
    } else if (code >= 160 && code <= 255) {
        out += '&';
        out += kLatin1Names[code - 160];
        out += ';';
    } else if (code > 255) {
        std::snprintf(number, sizeof number, "&#%u;", static_cast<unsigned>(code));
        out += number;
    } else {
        out += static_cast<char>(code);
    }
}

// Only one page at a time.
std::atomic<bool> gPageOpen{false};

}  // namespace

std::string escapePageText(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t code = static_cast<std::uint8_t>(text[at]);
        const std::size_t length = code >= 0x80 ? utf8At(text, at, code) : 1;
        appendCharacter(out, code);
        at += std::max<std::size_t>(length, 1);
    }
    return out;
}

std::string encodeAddressName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        const auto b = static_cast<std::uint8_t>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02x", b);
            out += hex;
        }
    }
    return out;
}

std::string pictureAddress(std::string_view name) {
    return std::string(kWebImagesFolder) + "/" + encodeAddressName(name) + ".jpg";
}

HtmlPage::HtmlPage(PageKind kind, int columns, std::string_view folder)
    : kind_(kind), columns_(std::clamp(columns, 1, kPageMaxColumns)) {
    if (gPageOpen.exchange(true)) return;
    started_ = true;
    captions_.resize(static_cast<std::size_t>(columns_) * 2);
    const KindWords words = wordsOf(kind_);
    std::string& t = text_;
    t += "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">";
    t.append(kLineEnd).append(kLineEnd);
    t += "<html><head><meta http-equiv=\"content-type\" content=\"text/html;charset=ISO-8859-1\">";
    t.append("<meta name=\"generator\" content=\"Quillmoor ").append(kProduct).append("\">");
    t.append("<title>").append(kProduct).append(words.title).append("</title></head>");
    t.append(kLineEnd).append(kLineEnd);
    t += "<body bgcolor=\"#ffffff\"><p><br>";
    t.append(kLineEnd).append(kLineEnd);
    t += "<font size=\"4\" color=\"000000\" face=\"Gill Sans,Verdana,Helvetica,Arial,Geneva\"><b>";
    t.append(kProduct).append(words.heading);
    if (words.namesFolder) t += escapePageText(folder);
    t.append("<br>").append(kLineEnd).append("</b></font></p>");
    t += "<table width=\"100%\" border=\"0\" cellspacing=\"12\" cellpadding=\"0\" align=\"center\">";
    // The first row opens like every later one.
    t += "<tr>";
}

HtmlPage::~HtmlPage() {
    if (started_) gPageOpen.store(false);
}

void HtmlPage::addCell(const PageCell& cell) {
    if (!started_ || ended_) return;
    std::string& t = text_;
    t.append(kCellStart).append(kLineEnd);
    t += "<table id=\"Table_01\" width=" + std::to_string(cell.width + 6) +
         " border=\"0\" cellspacing=\"0\" cellpadding=\"0\" height=" + std::to_string(cell.height + 7) + ">";
    t += "<tr><td colspan=\"3\"></td></tr><tr><td></td><td>";
    std::string picture = "<img src=\"" + pictureAddress(cell.name) + "\" alt=\"" + escapePageText(cell.name) +
                          ".jpg\" width=\"" + std::to_string(cell.width) + "\" height=\"" +
                          std::to_string(cell.height) + "\" border=\"0\">";
    if (!cell.link.empty())
        picture =
            "<div class=\"wsite-image wsite-image-border-none\"><a href='" + cell.link + "'>" + picture + "</a> </div>";
    t += picture;
    t += "</td><td></td></tr><tr><td colspan=\"3\"></td></tr></table>";
    t.append("<div align=\"center\">").append(kLineEnd);
    t += "<br><font size=\"" + std::to_string(kCaptionFontSize) +
         "\" color=\"000000\" face=\"Gill Sans,Verdana,Helvetica,Arial\">";
    t.append(escapePageText(cell.name)).append("</font></div></td>").append(kLineEnd).append(kLineEnd);
    for (std::size_t i = 0; i < 2 && i < cell.notes.size(); ++i)
        captions_[static_cast<std::size_t>(column_) * 2 + i] = cell.notes[i];
    if (++column_ == columns_) endRow();
}

void HtmlPage::endRow() {
    std::string& t = text_;
    t += "</tr>";
    const bool queued = std::any_of(captions_.begin(), captions_.end(), [](const auto& c) { return !c.empty(); });
    if (queued) {
        t += "<tr>";
        for (int c = 0; c < columns_; ++c) {
            const std::size_t at = static_cast<std::size_t>(c) * 2;
            t.append(kCellStart).append("<i><font size=\"-1\" color=\"#a6a6a6\" ");
            t.append("face=\"Hoefler Text, Times New Roman,Georgia,Times\">");
            t.append(escapePageText(captions_[at])).append("<br>").append(escapePageText(captions_[at + 1]));
            t.append(kLineEnd).append(kLineEnd).append("</font></i></td>");
        }
        t += "</tr>";
    }
    std::fill(captions_.begin(), captions_.end(), std::string());
    t.append(kLineEnd).append("<tr>");
    column_ = 0;
    ++row_;
}

void HtmlPage::end() {
    if (!started_ || ended_) return;
    ended_ = true;
    std::string& t = text_;
    if (column_ > 0) {
        while (column_ < columns_) {
            t.append(kCellStart).append("<p></p><div align=\"center\">");
            t += "<p><font face=\"Hoefler Text,Times New Roman,Georgia,Times\"><b></b></font></p></div></td>";
            ++column_;
        }
        endRow();
    }
    t.append("</table><br>").append(kLineEnd).append("</body></html>");
}

bool HtmlPage::save(const std::string& path, std::string& error, const std::atomic<bool>* cancel) {
    if (!started_) {
        error = "cannot write \"" + path + "\": another page is being written";
        return false;
    }
    end();
    CheckedFile file;
    if (!file.create(path, error)) return false;
    file.writeAt(text_.data(), text_.size(), 0);
    return file.commit(error, cancel);
}

}  // namespace globaro
