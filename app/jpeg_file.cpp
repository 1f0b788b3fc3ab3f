// JPEG files through libjpeg-turbo.

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "app/image_codec.h"
#include "app/metadata.h"

namespace globaro {

namespace {

constexpr std::string_view kExifHeader{"Exif\0\0", 6};
constexpr std::string_view kXmpHeader{"http://ns.adobe.com/xap/1.0/\0", 29};
// The most bytes an APP marker holds.
constexpr unsigned kMarkerBytes = 0xffff;

// The library's errors jump back to the call that set `jump`; its warnings
// (corrupt data, an early end of the file, which it papers over with grey)
// are kept and turn the read into a failure.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    bool damaged = false;
};

void errorExit(j_common_ptr info) {
    auto* e = reinterpret_cast<ErrorManager*>(info->err);
    info->err->format_message(info, e->message);
    std::longjmp(e->jump, 1);
}

void emitMessage(j_common_ptr info, int level) {
    auto* e = reinterpret_cast<ErrorManager*>(info->err);
    // Stray bytes between markers are common and harmless; every other
    // warning says the picture is not what the file meant.
    if (level >= 0 || info->err->msg_code == JWRN_EXTRANEOUS_DATA || e->damaged) return;
    info->err->format_message(info, e->message);
    e->damaged = true;
}

void setUpErrors(ErrorManager& e) {
    jpeg_std_error(&e.pub);
    e.pub.error_exit = errorExit;
    e.pub.emit_message = emitMessage;
    e.pub.output_message = [](j_common_ptr) {};
}

class JpegDecoder final : public ImageDecoder {
public:
    ~JpegDecoder() override {
        jpeg_destroy_decompress(&info_);
        if (file_ != nullptr) std::fclose(file_);
    }

    // Reads the header; null with `error` empty for files left to the image
    // library.
    static std::unique_ptr<JpegDecoder> open(const std::string& path, ImageFileHeader& header, std::string& error) {
        std::unique_ptr<JpegDecoder> d(new JpegDecoder(path));
        d->file_ = std::fopen(path.c_str(), "rb");
        if (d->file_ == nullptr) {
            error = "cannot read \"" + path + "\": the file cannot be opened";
            return nullptr;
        }
        if (!d->start(header)) {
            if (d->declined_) return nullptr;
            error = d->failure();
            return nullptr;
        }
        return d;
    }

    bool readRows(std::int32_t y0, std::int32_t rows, int channels, void* into, std::string& error) override {
        if (!started_ && !begin()) {
            error = failure();
            return false;
        }
        if (channels != info_.output_components || static_cast<JDIMENSION>(y0) != info_.output_scanline) {
            error = "cannot read \"" + path_ + "\": rows asked out of order";
            return false;
        }
        if (!scan(rows, static_cast<std::uint8_t*>(into))) {
            error = failure();
            return false;
        }
        return true;
    }

private:
    explicit JpegDecoder(std::string path) : path_(std::move(path)) {
        setUpErrors(errors_);
        info_.err = &errors_.pub;
        jpeg_create_decompress(&info_);
    }

    std::string failure() const { return readFailure(path_, errors_.message); }

    bool start(ImageFileHeader& header) {
        if (setjmp(errors_.jump) != 0) return false;
        jpeg_stdio_src(&info_, file_);
        jpeg_save_markers(&info_, JPEG_APP0 + 1, kMarkerBytes);
        jpeg_save_markers(&info_, JPEG_APP0 + 2, kMarkerBytes);
        jpeg_read_header(&info_, TRUE);
        // Four-channel (printing) files go to the image library, which
        // turns them into RGB.
        if (info_.num_components != 1 && info_.num_components != 3) {
            declined_ = true;
            return false;
        }
        info_.out_color_space = info_.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
        readMetadata(header.metadata);
        if (errors_.damaged) return false;
        // The decompressor starts with the first rows asked for: a
        // progressive file has it allocate a buffer the size of the whole
        // image, which the caller checks against its limit first.
        header.width = static_cast<std::int32_t>(info_.image_width);
        header.height = static_cast<std::int32_t>(info_.image_height);
        header.channels = info_.num_components;
        header.alphaChannel = -1;
        header.depth = 8;
        return true;
    }

    // Called under the error jump of start().
    void readMetadata(FileMetadata& m) {
        for (jpeg_saved_marker_ptr marker = info_.marker_list; marker != nullptr; marker = marker->next) {
            const std::string_view data(reinterpret_cast<const char*>(marker->data), marker->data_length);
            if (marker->marker != JPEG_APP0 + 1) continue;
            if (data.starts_with(kExifHeader) && m.carried.exif.empty()) {
                ExifRecord all;
                if (parseExif(marker->data, marker->data_length, all)) m.carried.exif = carriedExif(all);
            } else if (data.starts_with(kXmpHeader) && m.xmp.empty()) {
                m.xmp = data.substr(kXmpHeader.size());
            }
        }
        // A JFIF header's resolution stands in for the EXIF record's.
        double x = 0.0, y = 0.0;
        int unit = 0;
        if (info_.saw_JFIF_marker && (info_.density_unit == 1 || info_.density_unit == 2) && info_.X_density > 0 &&
            info_.Y_density > 0 && !m.carried.exif.resolution(x, y, unit))
            m.carried.exif.setResolution(info_.X_density, info_.Y_density, info_.density_unit + 1);
        JOCTET* icc = nullptr;
        unsigned int iccBytes = 0;
        if (jpeg_read_icc_profile(&info_, &icc, &iccBytes) && icc != nullptr) {
            m.carried.iccProfile.assign(icc, icc + iccBytes);
            std::free(icc);
        }
    }

    bool begin() {
        if (setjmp(errors_.jump) != 0) return false;
        jpeg_start_decompress(&info_);
        started_ = true;
        return !errors_.damaged;
    }

    bool scan(std::int32_t rows, std::uint8_t* into) {
        if (setjmp(errors_.jump) != 0) return false;
        const std::size_t rowBytes = std::size_t{info_.output_width} * info_.output_components;
        for (std::int32_t j = 0; j < rows;) {
            JSAMPROW row = into + static_cast<std::size_t>(j) * rowBytes;
            j += static_cast<std::int32_t>(jpeg_read_scanlines(&info_, &row, 1));
            if (errors_.damaged) return false;
        }
        return true;
    }

    std::string path_;
    ErrorManager errors_;
    jpeg_decompress_struct info_{};
    FILE* file_ = nullptr;
    bool declined_ = false;
    bool started_ = false;
};

// Hands the compressor's bytes to the sink, a buffer at a time.
struct SinkDestination {
    jpeg_destination_mgr pub;
    ByteSink* sink;
    std::int64_t at = 0;
    bool failed = false;
    JOCTET buffer[1 << 16];

    void flush(std::size_t n) {
        if (n > 0 && sink->writeAt(buffer, n, at) != n) failed = true;
        at += static_cast<std::int64_t>(n);
        pub.next_output_byte = buffer;
        pub.free_in_buffer = sizeof buffer;
    }
};

class JpegEncoder final : public ImageEncoder {
public:
    JpegEncoder(ByteSink& sink, std::string path) : path_(std::move(path)) {
        setUpErrors(errors_);
        info_.err = &errors_.pub;
        jpeg_create_compress(&info_);
        destination_ = std::make_unique<SinkDestination>();
        destination_->sink = &sink;
        destination_->pub.init_destination = [](j_compress_ptr c) {
            reinterpret_cast<SinkDestination*>(c->dest)->flush(0);
        };
        destination_->pub.empty_output_buffer = [](j_compress_ptr c) -> boolean {
            auto* d = reinterpret_cast<SinkDestination*>(c->dest);
            d->flush(sizeof d->buffer);
            return TRUE;
        };
        destination_->pub.term_destination = [](j_compress_ptr c) {
            auto* d = reinterpret_cast<SinkDestination*>(c->dest);
            d->flush(sizeof d->buffer - d->pub.free_in_buffer);
        };
        info_.dest = &destination_->pub;
    }
    ~JpegEncoder() override { jpeg_destroy_compress(&info_); }

    bool begin(const ImageEncoding& e, std::string& error) {
        channels_ = e.channels;
        const std::vector<std::uint8_t> exif =
            e.metadata != nullptr ? exifBlock(*e.metadata, e.width, e.height) : std::vector<std::uint8_t>{};
        const std::string xmp = e.metadata != nullptr ? xmpPacket(*e.metadata) : std::string();
        const std::vector<std::uint8_t>* icc = e.metadata != nullptr ? &e.metadata->carried.iccProfile : nullptr;
        if (!start(e, exif, xmp, icc)) {
            error = failure();
            return false;
        }
        return true;
    }

    bool writeRows(std::int32_t, std::int32_t rows, const void* samples, std::string& error) override {
        if (!scan(rows, static_cast<const std::uint8_t*>(samples)) || destination_->failed) {
            error = failure();
            return false;
        }
        return true;
    }

    bool finish(std::string& error) override {
        if (!end() || destination_->failed) {
            error = failure();
            return false;
        }
        return true;
    }

private:
    std::string failure() const { return writeFailure(path_, errors_.message); }

    static std::vector<std::uint8_t> exifBlock(const ImageMetadata& m, std::int32_t width, std::int32_t height) {
        std::vector<std::uint8_t> block(kExifHeader.begin(), kExifHeader.end());
        const std::vector<std::uint8_t> tiff = encodeExif(m.carried.exif, width, height);
        block.insert(block.end(), tiff.begin(), tiff.end());
        return block;
    }

    static std::string xmpPacket(const ImageMetadata& m) {
        const std::string body = panoramaXmp(m);
        return body.empty() ? body : std::string(kXmpHeader) + body;
    }

    bool start(const ImageEncoding& e, const std::vector<std::uint8_t>& exif, const std::string& xmp,
               const std::vector<std::uint8_t>* icc) {
        if (setjmp(errors_.jump) != 0) return false;
        info_.image_width = static_cast<JDIMENSION>(e.width);
        info_.image_height = static_cast<JDIMENSION>(e.height);
        info_.input_components = e.channels;
        info_.in_color_space = e.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
        jpeg_set_defaults(&info_);
        jpeg_set_quality(&info_, e.quality, TRUE);
        // The JFIF header says the resolution the EXIF record gives.
        double x = 0.0, y = 0.0;
        int unit = 0;
        if (e.metadata != nullptr && e.metadata->carried.exif.resolution(x, y, unit) && (unit == 2 || unit == 3)) {
            info_.density_unit = static_cast<UINT8>(unit == 2 ? 1 : 2);
            info_.X_density = static_cast<UINT16>(std::clamp(std::lround(x), 1L, 65535L));
            info_.Y_density = static_cast<UINT16>(std::clamp(std::lround(y), 1L, 65535L));
        }
        if (e.channels == 3) {
            const int h = e.subsampling == "4:4:4" ? 1 : 2, v = e.subsampling == "4:2:0" ? 2 : 1;
            info_.comp_info[0].h_samp_factor = h;
            info_.comp_info[0].v_samp_factor = v;
            for (int c = 1; c < 3; ++c) info_.comp_info[c].h_samp_factor = info_.comp_info[c].v_samp_factor = 1;
        }
        jpeg_start_compress(&info_, TRUE);
        if (e.keywordSegment.size() > 4)
            jpeg_write_marker(&info_, JPEG_APP0 + 13, reinterpret_cast<const JOCTET*>(e.keywordSegment.data()) + 4,
                              static_cast<unsigned>(e.keywordSegment.size() - 4));
        if (!exif.empty() && exif.size() <= kMarkerBytes - 2)
            jpeg_write_marker(&info_, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
        if (!xmp.empty() && xmp.size() <= kMarkerBytes - 2)
            jpeg_write_marker(&info_, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(xmp.data()),
                              static_cast<unsigned>(xmp.size()));
        if (icc != nullptr && !icc->empty())
            jpeg_write_icc_profile(&info_, icc->data(), static_cast<unsigned>(icc->size()));
        return true;
    }

    bool scan(std::int32_t rows, const std::uint8_t* samples) {
        if (setjmp(errors_.jump) != 0) return false;
        const std::size_t rowBytes = std::size_t{info_.image_width} * static_cast<std::size_t>(channels_);
        for (std::int32_t j = 0; j < rows;) {
            auto row = const_cast<JSAMPROW>(samples + static_cast<std::size_t>(j) * rowBytes);
            j += static_cast<std::int32_t>(jpeg_write_scanlines(&info_, &row, 1));
        }
        return true;
    }

    bool end() {
        if (setjmp(errors_.jump) != 0) return false;
        jpeg_finish_compress(&info_);
        return true;
    }

    std::string path_;
    ErrorManager errors_;
    jpeg_compress_struct info_{};
    std::unique_ptr<SinkDestination> destination_;
    int channels_ = 3;
};

}  // namespace

std::unique_ptr<ImageDecoder> openJpegFile(const std::string& path, ImageFileHeader& header, std::string& error) {
    return JpegDecoder::open(path, header, error);
}

std::unique_ptr<ImageEncoder> createJpegFile(ByteSink& sink, const std::string& path, const ImageEncoding& encoding,
                                             std::string& error) {
    auto encoder = std::make_unique<JpegEncoder>(sink, encoding.target.empty() ? path : encoding.target);
    if (!encoder->begin(encoding, error)) return nullptr;
    return encoder;
}

}  // namespace globaro
