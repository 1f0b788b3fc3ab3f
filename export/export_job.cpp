#include "export/export_job.h"

namespace globaro {

std::string exportFileName(std::string_view name) {
    std::string out;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ' || c == '\\' || c == '/' || c == ':')
            out += '_';
        else if (c < 32)
            out += ' ';
        else if (c > 127)
            out += static_cast<char>((c & 0x7F) + 32);
        else
            out += ch;
    }
    return out == "." ? "_" : out;
}

}  // namespace globaro
