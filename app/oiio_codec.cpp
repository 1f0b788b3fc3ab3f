// The image library's codecs for every format the host does not read and
// write itself, built into a shared library of its own (globaro_oiio.so)
// that the program loads when such a file is met. Nothing else of the host
// includes the library's headers.

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cstring>

#include "app/image_codec.h"
#include "app/metadata.h"

// The library's EXIF block encoder and decoder; their header needs libtiff's
// headers, which the library's own functions do not.
OIIO_NAMESPACE_BEGIN
OIIO_API bool decode_exif(cspan<uint8_t> exif, ImageSpec& spec);
OIIO_API void encode_exif(const ImageSpec& spec, std::vector<char>& blob);
OIIO_NAMESPACE_END

namespace globaro {

namespace {

namespace OIIO = OIIO_NAMESPACE;

constexpr const char* kPanoramaPrefix = "GPano:";

std::string firstLine(std::string text) {
    const auto end = text.find('\n');
    if (end != std::string::npos) text.resize(end);
    return text;
}

int depthFor(const OIIO::TypeDesc& type) {
    switch (type.basetype) {
        case OIIO::TypeDesc::UINT8:
        case OIIO::TypeDesc::INT8:
            return 8;
        case OIIO::TypeDesc::UINT16:
        case OIIO::TypeDesc::INT16:
            return 16;
        default:
            return 32;
    }
}

OIIO::TypeDesc typeFor(int depth) {
    return depth == 8 ? OIIO::TypeDesc::UINT8 : depth == 16 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::FLOAT;
}

// The carried records of a file's header: the EXIF and GPS tags the
// library decoded (encoded again into one block, which the host reads like
// a JPEG file's), the profile, and the panorama properties of its XMP.
FileMetadata readMetadata(const OIIO::ImageSpec& spec) {
    FileMetadata m;
    std::vector<char> block;
    OIIO::encode_exif(spec, block);
    ExifRecord all;
    if (!block.empty() && parseExif(reinterpret_cast<const std::uint8_t*>(block.data()), block.size(), all))
        m.carried.exif = carriedExif(all);
    if (const OIIO::ParamValue* icc = spec.find_attribute("ICCProfile"); icc != nullptr && icc->datasize() > 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(icc->data());
        m.carried.iccProfile.assign(bytes, bytes + icc->datasize());
    }
    for (const OIIO::ParamValue& p : spec.extra_attribs) {
        const std::string name = p.name().string();
        if (name.starts_with(kPanoramaPrefix)) m.xmp += name + "=\"" + p.get_string() + "\"\n";
    }
    return m;
}

// Puts the metadata for an image of `spec`'s size into `spec`, as far as the
// writer of `format` can hold it.
void writeMetadata(const ImageMetadata* m, OIIO::ImageSpec& spec, const std::string& format) {
    if (m == nullptr) return;
    const std::vector<std::uint8_t> block = encodeExif(m->carried.exif, spec.width, spec.height);
    OIIO::decode_exif(OIIO::cspan<std::uint8_t>(block.data(), static_cast<OIIO::oiio_span_size_type>(block.size())),
                      spec);
    // The library's TIFF writer (before its 2.6 releases) makes a file
    // without a readable main directory when it writes an EXIF directory
    // through an I/O proxy, as ours does: TIFF files keep the main
    // directory's tags (camera, artist, date, orientation) and the profile.
    if (format == "tiff") {
        auto& attributes = spec.extra_attribs;
        attributes.erase(std::remove_if(attributes.begin(), attributes.end(),
                                        [](const OIIO::ParamValue& p) {
                                            const std::string name = p.name().string();
                                            return name.starts_with("Exif:") || name.starts_with("GPS:");
                                        }),
                         attributes.end());
    }
    const std::vector<std::uint8_t>& icc = m->carried.iccProfile;
    if (!icc.empty())
        spec.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(icc.size())), icc.data());
    if (m->panorama)
        for (const auto& [name, value] : panoramaProperties(*m->panorama)) spec.attribute(name, value);
}

class OiioDecoder final : public ImageDecoder {
public:
    OiioDecoder(std::unique_ptr<OIIO::ImageInput> in, std::string path, int depth)
        : in_(std::move(in)), path_(std::move(path)), type_(typeFor(depth)) {}
    ~OiioDecoder() override {
        if (in_) in_->close();
    }

    bool readRows(std::int32_t y0, std::int32_t rows, int channels, void* into, std::string& error) override {
        const int fy = in_->spec().y + y0;
        // Some readers fill what a damaged or short file lacks and still
        // answer true; the error they recorded says what happened.
        if (in_->read_scanlines(0, 0, fy, fy + rows, 0, 0, channels, type_, into) && !in_->has_error()) return true;
        error = "cannot read \"" + path_ + "\": " + firstLine(in_->geterror());
        if (error.back() == ' ') error += "the file is damaged";
        return false;
    }

private:
    std::unique_ptr<OIIO::ImageInput> in_;
    std::string path_;
    OIIO::TypeDesc type_;
};

// Hands the writer's bytes to the host's sink.
class SinkProxy final : public OIIO::Filesystem::IOProxy {
public:
    SinkProxy(ByteSink& sink, const std::string& path) : IOProxy(path, Write), sink_(sink) {}
    const char* proxytype() const override { return "checked file"; }
    void close() override { m_mode = Closed; }
    size_t read(void* buf, size_t size) override {
        const size_t n = pread(buf, size, m_pos);
        m_pos += static_cast<int64_t>(n);
        return n;
    }
    size_t write(const void* buf, size_t size) override {
        const size_t n = pwrite(buf, size, m_pos);
        m_pos += static_cast<int64_t>(n);
        return n;
    }
    size_t pread(void* buf, size_t size, int64_t offset) override { return sink_.readAt(buf, size, offset); }
    size_t pwrite(const void* buf, size_t size, int64_t offset) override { return sink_.writeAt(buf, size, offset); }
    size_t size() const override { return static_cast<size_t>(sink_.size()); }

private:
    ByteSink& sink_;
};

class OiioEncoder final : public ImageEncoder {
public:
    OiioEncoder(ByteSink& sink, std::string path, std::string target)
        : path_(std::move(path)), target_(std::move(target)), proxy_(sink, path_) {}

    bool begin(const ImageEncoding& e, std::string& error) {
        out_ = OIIO::ImageOutput::create(path_);
        if (!out_) return fail("unsupported file format", error);
        type_ = typeFor(e.depth);
        OIIO::ImageSpec spec(e.width, e.height, e.channels, e.halfFloat ? OIIO::TypeDesc::HALF : type_);
        const int colour = e.channels - (e.alpha ? 1 : 0);
        if (e.alpha) spec.alpha_channel = colour;
        spec.attribute("oiio:UnassociatedAlpha", 1);  // our samples are not premultiplied
        spec.channelnames = colour == 1 ? std::vector<std::string>{"Y"} : std::vector<std::string>{"R", "G", "B"};
        if (e.alpha) spec.channelnames.push_back("A");
        writeMetadata(e.metadata, spec, e.format);
        // The deflate level of TIFF files (its default is 6): 4 costs a
        // little size for a large saving in time.
        if (e.format == "tiff") spec.attribute("tiff:zipquality", 4);
        if (e.format == "webp") spec.attribute("Compression", "webp:" + std::to_string(e.quality));
        out_->set_ioproxy(&proxy_);
        if (!out_->open(path_, spec)) return fail("the file could not be created", error);
        return true;
    }

    bool writeRows(std::int32_t y0, std::int32_t rows, const void* samples, std::string& error) override {
        if (out_->write_scanlines(y0, y0 + rows, 0, type_, samples)) return true;
        return fail("the file could not be written", error);
    }

    bool finish(std::string& error) override {
        if (out_->close()) return true;
        return fail("the file could not be written", error);
    }

private:
    bool fail(const char* fallback, std::string& error) {
        error = "cannot write \"" + target_ + "\": " + firstLine(out_ ? out_->geterror() : OIIO::geterror());
        if (error.back() == ' ') error += fallback;
        return false;
    }

    std::string path_;
    std::string target_;
    SinkProxy proxy_;
    std::unique_ptr<OIIO::ImageOutput> out_;
    OIIO::TypeDesc type_;
};

std::string formatFor(const std::string& path) {
    const auto out = OIIO::ImageOutput::create(path);
    OIIO::geterror();  // an unknown format is the caller's to say
    return out ? std::string(out->format_name()) : std::string();
}

ImageDecoder* open(const std::string& path, ImageFileHeader& header, std::string& error) {
    // Editors keep colour and transparency apart (not premultiplied): ask
    // for the samples as the file stores them.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in) {
        error = "cannot read \"" + path + "\": " + firstLine(OIIO::geterror());
        if (error.back() == ' ') error += "unsupported or damaged image file";
        return nullptr;
    }
    const OIIO::ImageSpec& spec = in->spec();
    header.width = spec.width;
    header.height = spec.height;
    header.channels = spec.nchannels;
    header.alphaChannel = spec.alpha_channel;
    header.depth = depthFor(spec.format);
    header.metadata = readMetadata(spec);
    return new OiioDecoder(std::move(in), path, header.depth);
}

ImageEncoder* create(ByteSink& sink, const std::string& path, const ImageEncoding& encoding, std::string& error) {
    auto encoder = std::make_unique<OiioEncoder>(sink, path, encoding.target.empty() ? path : encoding.target);
    if (!encoder->begin(encoding, error)) return nullptr;
    return encoder.release();
}

constexpr ImageLibrary kLibrary{kImageLibraryVersion, formatFor, open, create};

}  // namespace

}  // namespace globaro

extern "C" __attribute__((visibility("default"))) const globaro::ImageLibrary* globaroImageLibrary() {
    return &globaro::kLibrary;
}
