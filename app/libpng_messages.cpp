// libpng prints "libpng error: ..." on standard error whenever an error
// handler returns instead of jumping back into the reader itself, and
// OpenImageIO's PNG reader, which reads the PNG files the host's own codec
// leaves to it (interlaced ones), installs a handler that returns (after
// recording the message, which our own one line then carries). A damaged PNG
// showed the user two lines. The host's own codec jumps back itself.
//
// This program defines png_set_error_fn itself; being found before libpng's,
// it hands libpng a handler that calls the one it was given and then jumps
// back the way libpng would, without printing. It lives in the program, not
// in the host library: a library's object file would not be linked unless
// something referred to it.

#include <dlfcn.h>
#include <png.h>

#include <mutex>
#include <unordered_map>

namespace {

using SetErrorFn = void (*)(png_structrp, png_voidp, png_error_ptr, png_error_ptr);
using LongJumpFn = void (*)(png_const_structrp, int);

std::mutex gMutex;
// The handler each read or write structure was given; entries of structures
// gone are replaced when their address comes back.
std::unordered_map<const void*, png_error_ptr>& handlers() {
    static auto* map = new std::unordered_map<const void*, png_error_ptr>;
    return *map;
}

LongJumpFn longJump() {
    static const auto jump = reinterpret_cast<LongJumpFn>(dlvsym(RTLD_NEXT, "png_longjmp", "PNG16_0"));
    return jump;
}

void reportThenJump(png_structp png, png_const_charp message) {
    png_error_ptr handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        const auto it = handlers().find(static_cast<const void*>(png));
        if (it != handlers().end()) handler = it->second;
    }
    if (handler != nullptr) handler(png, message);
    longJump()(png, 1);  // like libpng's own: back to the reader, or abort without a jump buffer
}

}  // namespace

extern "C" void png_set_error_fn(png_structrp png, png_voidp errorPointer, png_error_ptr errorHandler,
                                 png_error_ptr warningHandler) {
    static const auto real = reinterpret_cast<SetErrorFn>(dlvsym(RTLD_NEXT, "png_set_error_fn", "PNG16_0"));
    if (real == nullptr) return;
    if (png == nullptr || errorHandler == nullptr || longJump() == nullptr) {
        real(png, errorPointer, errorHandler, warningHandler);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(gMutex);
        handlers()[static_cast<const void*>(png)] = errorHandler;
    }
    real(png, errorPointer, reportThenJump, warningHandler);
}
