#include "app/image_io.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace globaro {

namespace OIIO = OIIO_NAMESPACE;

namespace {

std::string firstLine(std::string text) {
    const auto end = text.find('\n');
    if (end != std::string::npos) text.resize(end);
    return text;
}

int depthFor(const OIIO::TypeDesc& type) {
    switch (type.basetype) {
        case OIIO::TypeDesc::UINT8:
        case OIIO::TypeDesc::INT8: return 8;
        case OIIO::TypeDesc::UINT16:
        case OIIO::TypeDesc::INT16: return 16;
        default: return 32;
    }
}

// Host 16-bit samples run 0..32768; files use 0..65535.
std::uint16_t fileToHost16(std::uint16_t v) { return static_cast<std::uint16_t>((v * 32768u + 32767u) / 65535u); }
std::uint16_t hostToFile16(std::uint16_t v) {
    return static_cast<std::uint16_t>((std::min<std::uint32_t>(v, 32768u) * 65535u + 16384u) / 32768u);
}

}  // namespace

bool loadDocument(const std::string& path, Document& doc, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "cannot read \"" + path + "\": no such file";
        return false;
    }
    // Editors keep colour and transparency apart (not premultiplied): ask
    // for the samples as the file stores them.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in) {
        error = "cannot read \"" + path + "\": " + firstLine(OIIO::geterror());
        if (error.back() == ' ') error += "unsupported or damaged image file";
        return false;
    }
    const OIIO::ImageSpec& spec = in->spec();
    if (spec.nchannels < 1) {
        error = "cannot read \"" + path + "\": the image has no channels";
        return false;
    }
    // Which channels become colour and alpha.
    const int alphaChannel = spec.alpha_channel >= 0 ? spec.alpha_channel
                                                     : (spec.nchannels == 2 || spec.nchannels == 4) ? spec.nchannels - 1
                                                                                                     : -1;
    const int colorChannels = (spec.nchannels - (alphaChannel >= 0 ? 1 : 0)) >= 3 ? 3 : 1;
    const int depth = depthFor(spec.format);
    Document d;
    if (!makeDocument(d, spec.width, spec.height, colorChannels, alphaChannel >= 0, depth, error)) {
        error = "cannot read \"" + path + "\": " + error;
        return false;
    }
    const OIIO::TypeDesc type = depth == 8 ? OIIO::TypeDesc::UINT8 : depth == 16 ? OIIO::TypeDesc::UINT16
                                                                                 : OIIO::TypeDesc::FLOAT;
    // Read in strips so that only the document itself is held whole.
    constexpr std::int32_t kStripRows = 64;
    const int bps = d.bytesPerSample();
    const std::size_t fileRowBytes = static_cast<std::size_t>(spec.width) * spec.nchannels * bps;
    std::vector<std::uint8_t> strip;
    try {
        strip.resize(fileRowBytes * kStripRows);
    } catch (const std::bad_alloc&) {
        error = "cannot read \"" + path + "\": not enough memory";
        return false;
    }
    for (std::int32_t y0 = 0; y0 < d.height; y0 += kStripRows) {
        const std::int32_t rows = std::min(kStripRows, d.height - y0);
        if (!in->read_scanlines(0, 0, spec.y + y0, spec.y + y0 + rows, 0, 0, spec.nchannels, type, strip.data())) {
            error = "cannot read \"" + path + "\": " + firstLine(in->geterror());
            return false;
        }
        for (std::int32_t j = 0; j < rows; ++j) {
            for (std::int32_t x = 0; x < d.width; ++x) {
                const std::uint8_t* src = strip.data() + static_cast<std::size_t>(j) * fileRowBytes +
                                          static_cast<std::size_t>(x) * spec.nchannels * bps;
                for (int p = 0; p < d.planes(); ++p) {
                    const int channel = p < colorChannels ? p : alphaChannel;
                    std::uint8_t* dst = d.sample(x, y0 + j, p);
                    std::memcpy(dst, src + channel * bps, bps);
                    if (depth == 16) {
                        std::uint16_t v;
                        std::memcpy(&v, dst, 2);
                        v = fileToHost16(v);
                        std::memcpy(dst, &v, 2);
                    }
                }
            }
        }
    }
    in->close();
    doc = std::move(d);
    return true;
}

bool loadMask(const std::string& path, std::int32_t width, std::int32_t height, std::vector<std::uint8_t>& mask,
              std::string& error) {
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        error = "cannot read mask \"" + path + "\": " + firstLine(OIIO::geterror());
        return false;
    }
    const OIIO::ImageSpec& spec = in->spec();
    if (spec.width != width || spec.height != height) {
        error = "mask \"" + path + "\" is " + std::to_string(spec.width) + " x " + std::to_string(spec.height) +
                ", the image is " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width) * height);
    if (!in->read_image(0, 0, 0, 1, OIIO::TypeDesc::UINT8, bytes.data())) {
        error = "cannot read mask \"" + path + "\": " + firstLine(in->geterror());
        return false;
    }
    mask = std::move(bytes);
    return true;
}

bool saveDocument(const std::string& path, const Document& doc, int depth, std::string& error) {
    if (depth == 0) depth = doc.depth;
    const Document converted = convertDepth(doc, depth);
    if (converted.pixels.empty()) {
        error = "cannot write \"" + path + "\": not enough memory";
        return false;
    }
    const std::filesystem::path target(path);
    std::filesystem::path partial = target;
    partial.replace_filename("." + target.stem().string() + ".partial-" + std::to_string(getpid()) +
                             target.extension().string());
    auto out = OIIO::ImageOutput::create(path);
    if (!out) {
        error = "cannot write \"" + path + "\": " + firstLine(OIIO::geterror());
        return false;
    }
    const OIIO::TypeDesc type = depth == 8 ? OIIO::TypeDesc::UINT8 : depth == 16 ? OIIO::TypeDesc::UINT16
                                                                                 : OIIO::TypeDesc::FLOAT;
    OIIO::ImageSpec spec(converted.width, converted.height, converted.planes(), type);
    if (converted.hasAlpha) spec.alpha_channel = converted.colorPlanes;
    spec.attribute("oiio:UnassociatedAlpha", 1);  // our samples are not premultiplied
    spec.channelnames = converted.colorPlanes == 1 ? std::vector<std::string>{"Y"}
                                                   : std::vector<std::string>{"R", "G", "B"};
    if (converted.hasAlpha) spec.channelnames.push_back("A");
    std::vector<std::uint8_t> bytes = converted.pixels;
    if (depth == 16) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            std::uint16_t v;
            std::memcpy(&v, &bytes[i], 2);
            v = hostToFile16(v);
            std::memcpy(&bytes[i], &v, 2);
        }
    }
    bool ok = out->open(partial.string(), spec) && out->write_image(type, bytes.data()) && out->close();
    if (!ok) {
        error = "cannot write \"" + path + "\": " + firstLine(out->geterror());
        out.reset();
        std::remove(partial.c_str());
        return false;
    }
    out.reset();
    std::error_code ec;
    std::filesystem::rename(partial, target, ec);
    if (ec) {
        std::remove(partial.c_str());
        error = "cannot write \"" + path + "\": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace globaro
