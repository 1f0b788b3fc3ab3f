#pragma once
// Reading and writing documents with OpenImageIO, keeping depth, channels and
// transparency.

#include <memory>
#include <string>

#include "app/document.h"
#include "app/row_gate.h"

namespace globaro {

// Reads an image file. Grey or RGB, with or without alpha; 8-bit files stay
// 8-bit, 16-bit files become 16-bit documents (0..32768), half and float
// files become float documents. Returns false with a one-line reason.
bool loadDocument(const std::string& path, Document& doc, std::string& error);

// The same in two steps, so that the rows can be read on another thread while
// the caller starts on the top ones: open() reads the file's header and gives
// `doc` its size, planes and depth (its pixels still zero); readRows() then
// reads the rows into that document top to bottom, strip by strip,
// publishing each strip to `gate` (when not null) and ending the gate however
// it returns. Returns false with a one-line reason.
class DocumentReader {
public:
    DocumentReader();
    ~DocumentReader();
    DocumentReader(const DocumentReader&) = delete;
    DocumentReader& operator=(const DocumentReader&) = delete;

    bool open(const std::string& path, Document& doc, std::string& error);
    bool readRows(Document& doc, RowGate* gate, std::string& error);
    // The path given to open().
    const std::string& path() const { return path_; }

private:
    struct File;
    std::unique_ptr<File> file_;
    std::string path_;
};

// Reads a selection mask: a greyscale (or the first channel of any) image of
// the document's size, 255 = selected.
bool loadMask(const std::string& path, std::int32_t width, std::int32_t height, std::vector<std::uint8_t>& mask,
              std::string& error);

// Checks, before any work, that an image file can be written at `path`: a
// format is known for its name, and its folder exists and is writable.
// False with a one-line reason naming `path`.
bool checkImageTarget(const std::string& path, std::string& error);

// How lossy files are written: the JPEG and WebP quality (1..100) and the
// JPEG chroma subsampling ("4:4:4", "4:2:2" or "4:2:0"). One setting for the
// whole program, made before any file is written.
struct LossyFileOptions {
    int quality = 98;
    std::string subsampling = "4:2:0";
};
void setLossyFileOptions(const LossyFileOptions& options);
// A line for the user when --subsampling was set to something other than the
// default and `path` is not a JPEG file, which alone takes it (WebP is always
// 4:2:0); empty otherwise.
std::string unusedSubsamplingNote(const std::string& path);

// Checks, before any work, that an image of `width` x `height` fits the
// format of `path` (JPEG holds at most 65500 pixels a side, WebP 16383).
// False with a one-line reason naming `path`.
bool checkImageFits(const std::string& path, std::int64_t width, std::int64_t height, std::string& error);

// Writes a document. `depth` 0 keeps the document's depth; formats that
// cannot hold it get the nearest they can (16 bits in a format of floats
// only are half floats in OpenEXR and the format's own floats in Radiance,
// with values above 1 kept). The file appears only when it is
// complete: it is written beside the target and renamed into place. PNG and
// TIFF files are deflated at a moderate level (4 of 9; PNG rows with the
// "sub" filter), which costs a little size for a large saving in time.
// With `writeAlpha` false the transparency plane, if any, is left out of the
// file (the caller's choice for a plane in which every pixel is opaque).
bool saveDocument(const std::string& path, const Document& doc, int depth, std::string& error, bool writeAlpha = true);

// The same a strip of rows at a time, top to bottom, so that the top of an
// image can be written while its lower rows are still being made: begin()
// creates the file beside the target, writeRows() adds the rows up to `end`,
// commit() adds any rows left, closes the file and renames it into place.
// A writer destroyed or abandoned before its commit removes its file. The
// document must stay alive and its written rows unchanged until then.
class ImageFileWriter {
public:
    ImageFileWriter();
    ~ImageFileWriter();
    ImageFileWriter(const ImageFileWriter&) = delete;
    ImageFileWriter& operator=(const ImageFileWriter&) = delete;

    bool begin(const std::string& path, const Document& doc, int depth, bool writeAlpha, std::string& error);
    bool writeRows(std::int32_t end, std::string& error);
    bool commit(std::string& error);
    void abandon();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace globaro
