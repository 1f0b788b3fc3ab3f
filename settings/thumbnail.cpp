#include "settings/thumbnail.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace globaro {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// we jump back to the call that started the coding and fail there.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    std::longjmp(errors->jump, 1);
}

void silent(j_common_ptr) {}

struct CompressJob {
    jpeg_compress_struct info;
    JpegErrors errors;
    const Thumbnail* image;
    int quality;
    std::string_view app13;
    unsigned char* buffer;
    unsigned long size;
};

// Everything that may jump lives in plain records owned by the caller, so a
// jump skips no destructor and clobbers no local.
bool runCompress(CompressJob* job) {
    std::memset(&job->info, 0, sizeof job->info);
    job->info.err = jpeg_std_error(&job->errors.manager);
    job->errors.manager.error_exit = jumpOnError;
    job->errors.manager.output_message = silent;
    if (setjmp(job->errors.jump) != 0) {
        jpeg_destroy_compress(&job->info);
        return false;
    }
    jpeg_create_compress(&job->info);
    jpeg_mem_dest(&job->info, &job->buffer, &job->size);
    job->info.image_width = static_cast<JDIMENSION>(job->image->width);
    job->info.image_height = static_cast<JDIMENSION>(job->image->height);
    job->info.input_components = 3;
    job->info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&job->info);
    jpeg_set_quality(&job->info, job->quality, TRUE);
    jpeg_start_compress(&job->info, TRUE);
    if (!job->app13.empty())
        jpeg_write_marker(&job->info, JPEG_APP0 + 13, reinterpret_cast<const JOCTET*>(job->app13.data()),
                          static_cast<unsigned>(job->app13.size()));
    const std::size_t stride = static_cast<std::size_t>(job->image->width) * 3;
    while (job->info.next_scanline < job->info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(job->image->rgb.data() + job->info.next_scanline * stride);
        jpeg_write_scanlines(&job->info, &row, 1);
    }
    jpeg_finish_compress(&job->info);
    jpeg_destroy_compress(&job->info);
    return true;
}

struct DecompressJob {
    jpeg_decompress_struct info;
    JpegErrors errors;
    const unsigned char* data;
    unsigned long size;
    Thumbnail* out;
};

bool runDecompress(DecompressJob* job) {
    std::memset(&job->info, 0, sizeof job->info);
    job->info.err = jpeg_std_error(&job->errors.manager);
    job->errors.manager.error_exit = jumpOnError;
    job->errors.manager.output_message = silent;
    if (setjmp(job->errors.jump) != 0) {
        jpeg_destroy_decompress(&job->info);
        return false;
    }
    jpeg_create_decompress(&job->info);
    jpeg_mem_src(&job->info, job->data, job->size);
    if (jpeg_read_header(&job->info, TRUE) != JPEG_HEADER_OK || job->info.image_width == 0 ||
        job->info.image_height == 0 || job->info.image_width > static_cast<JDIMENSION>(kThumbnailMaxSide) ||
        job->info.image_height > static_cast<JDIMENSION>(kThumbnailMaxSide) ||
        (job->info.num_components != 1 && job->info.num_components != 3)) {
        jpeg_destroy_decompress(&job->info);
        return false;
    }
    job->info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&job->info);
    if (job->info.output_components != 3) {
        jpeg_destroy_decompress(&job->info);
        return false;
    }
    const int width = static_cast<int>(job->info.output_width);
    const int height = static_cast<int>(job->info.output_height);
    job->out->width = width;
    job->out->height = height;
    job->out->rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    while (job->info.output_scanline < job->info.output_height) {
        JSAMPROW row = job->out->rgb.data() + job->info.output_scanline * stride;
        if (jpeg_read_scanlines(&job->info, &row, 1) != 1) break;
    }
    const bool complete = job->info.output_scanline == job->info.output_height;
    if (complete) jpeg_finish_decompress(&job->info);
    // A stream that ran short or was damaged gets warnings (and grey rows);
    // we take that as a failed decode.
    const bool clean = complete && job->errors.manager.num_warnings == 0;
    jpeg_destroy_decompress(&job->info);
    return clean;
}

}  // namespace

bool takeThumbnail(const std::uint8_t* pixels, int width, int height, std::ptrdiff_t rowBytes, int pixelBytes,
                   Thumbnail& out) {
    out.clear();
    if (pixels == nullptr || width <= 0 || height <= 0 || (pixelBytes != 3 && pixelBytes != 4) ||
        rowBytes < static_cast<std::ptrdiff_t>(width) * pixelBytes)
        return false;
    const int side = width < height ? width : height;
    const int x0 = (width - side) / 2;
    const int y0 = (height - side) / 2;
    const int n = kThumbnailSide;
    out.width = out.height = n;
    out.rgb.assign(static_cast<std::size_t>(n) * n * 3, 0);
    for (int j = 0; j < n; ++j) {
        const int sy0 = static_cast<int>(static_cast<long long>(j) * side / n);
        int sy1 = static_cast<int>(static_cast<long long>(j + 1) * side / n);
        if (sy1 <= sy0) sy1 = sy0 + 1;
        for (int i = 0; i < n; ++i) {
            const int sx0 = static_cast<int>(static_cast<long long>(i) * side / n);
            int sx1 = static_cast<int>(static_cast<long long>(i + 1) * side / n);
            if (sx1 <= sx0) sx1 = sx0 + 1;
            std::uint64_t sum[3] = {0, 0, 0};
            for (int y = sy0; y < sy1; ++y) {
                const std::uint8_t* row = pixels + static_cast<std::ptrdiff_t>(y0 + y) * rowBytes;
                for (int x = sx0; x < sx1; ++x) {
                    const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x0 + x) * pixelBytes;
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const std::uint64_t count = static_cast<std::uint64_t>(sy1 - sy0) * (sx1 - sx0);
            std::uint8_t* q = out.rgb.data() + (static_cast<std::size_t>(j) * n + i) * 3;
            for (int c = 0; c < 3; ++c) q[c] = static_cast<std::uint8_t>((sum[c] + count / 2) / count);
        }
    }
    return true;
}

bool encodeThumbnailJpeg(const Thumbnail& image, int quality, std::vector<std::uint8_t>& jpeg, std::string_view app13) {
    jpeg.clear();
    // A marker holds at most 65533 bytes.
    if (image.empty() || image.width > kThumbnailMaxSide || image.height > kThumbnailMaxSide || app13.size() > 65533 ||
        image.rgb.size() < static_cast<std::size_t>(image.width) * image.height * 3)
        return false;
    // A buffer the stream never outgrows in practice; should it do so, the
    // destination manager moves to a buffer of its own, which we free.
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(image.width) * image.height * 4 + 65536);
    CompressJob job{};
    job.image = &image;
    job.quality = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
    job.app13 = app13;
    job.buffer = buffer.data();
    job.size = static_cast<unsigned long>(buffer.size());
    const bool ok = runCompress(&job);
    if (ok && job.size > 0) jpeg.assign(job.buffer, job.buffer + job.size);
    if (job.buffer != buffer.data()) std::free(job.buffer);
    return ok && !jpeg.empty();
}

bool decodeThumbnailJpeg(std::span<const std::uint8_t> jpeg, Thumbnail& out) {
    out.clear();
    if (jpeg.size() < 4) return false;
    DecompressJob job{};
    job.data = jpeg.data();
    job.size = static_cast<unsigned long>(jpeg.size());
    job.out = &out;
    if (!runDecompress(&job)) {
        out.clear();
        return false;
    }
    return true;
}

}  // namespace globaro
