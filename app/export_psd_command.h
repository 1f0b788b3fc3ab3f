#pragma once
// `globaro export psd|cube …`: layered Photoshop documents made from renders
// of an image, one layer rendered at a time.

#include <string>
#include <vector>

#include "app/export_commands.h"
#include "export/iptc.h"
#include "export/psd_writer.h"

namespace globaro {
struct Document;
}

namespace globaro::cli {

// Whether `path` names a Photoshop document: ".psd", or ".psb" for the large
// document format (any case).
bool isLayeredDocumentPath(const std::string& path);

// Writes the result of a render as a Photoshop document of one layer with the
// keyword record of `doc`: in the large document format when the path ends
// in ".psb" or a side passes 30000 pixels. False with a one-line reason
// naming the path; nothing is left behind then.
bool writeResultDocument(const std::string& path, const Document& doc, std::string& error);

// Writes one Photoshop document of the pictures `layers` gives, with the
// keyword record `keywords` plus the words of `picture`, an EXIF block and
// the user's cancel honoured. False with a one-line reason naming the path;
// nothing is left behind then.
bool writeSingleDocument(const std::string& path, const LayerSet& set, const LayerSource& layers, KeywordList keywords,
                         const ExportPicture& picture, std::string& error);

void addPsdExports(CLI::App& exportCommand, const ExportContext& context, std::vector<ExportKind>& kinds);

}  // namespace globaro::cli
