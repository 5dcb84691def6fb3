#include "dialogs/JpegPicture.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>

// jpeglib.h needs the size_t and FILE of stdio.h before it.
#include <jpeglib.h>

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to DecodeInto, past only libjpeg's own C frames. The state
// lives outside DecodeInto's frame, so that it is whole after the jump.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf exit;
};

struct Decoder {
    jpeg_decompress_struct info;
    ErrorManager errors;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->exit, 1);
}

// Nothing is printed; warnings (level -1: damaged or missing data) are counted.
void CountWarning(j_common_ptr info, int level) {
    if (level < 0)
        ++info->err->num_warnings;
}

// Decodes into `out`; false on any error. Nothing with a destructor lives in
// this frame, so the jump back from libjpeg skips nothing.
bool DecodeInto(Decoder* decoder, const uint8_t* data, unsigned long size, Picture* out) {
    jpeg_decompress_struct& info = decoder->info;
    ErrorManager& errors = decoder->errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = ErrorExit;
    errors.base.emit_message = CountWarning;
    if (setjmp(errors.exit) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.image_width == 0 ||
        info.image_height == 0 || info.image_width > kMaxPictureSide ||
        info.image_height > kMaxPictureSide) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    out->width = static_cast<int>(info.output_width);
    out->height = static_cast<int>(info.output_height);
    out->stride = (static_cast<std::size_t>(out->width) * 3 + 3) & ~static_cast<std::size_t>(3);
    out->pixels.assign(out->stride * static_cast<std::size_t>(out->height), 0);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out->pixels.data() + out->stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    // A picture cut short is padded by libjpeg with a warning; refuse it.
    const bool whole = errors.base.num_warnings == 0;
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return whole;
}

} // namespace

std::optional<Picture> DecodeJpeg(std::span<const uint8_t> data) {
    if (data.empty())
        return std::nullopt;
    const auto decoder = std::make_unique<Decoder>();
    Picture picture;
    if (!DecodeInto(decoder.get(), data.data(), static_cast<unsigned long>(data.size()), &picture))
        return std::nullopt;
    return picture;
}

PlacedPicture FitProportionally(int pictureWidth, int pictureHeight, int boxLeft, int boxTop,
                                int boxWidth, int boxHeight) {
    PlacedPicture placed{boxLeft, boxTop, 0, 0};
    if (pictureWidth <= 0 || pictureHeight <= 0 || boxWidth <= 0 || boxHeight <= 0)
        return placed;
    placed.width = std::min(pictureWidth, boxWidth);
    placed.height = std::min(pictureHeight, boxHeight);
    // Shrink the side that overflows the proportions.
    if (static_cast<long long>(placed.width) * pictureHeight >
        static_cast<long long>(placed.height) * pictureWidth)
        placed.width =
            static_cast<int>(static_cast<long long>(placed.height) * pictureWidth / pictureHeight);
    else
        placed.height =
            static_cast<int>(static_cast<long long>(placed.width) * pictureHeight / pictureWidth);
    placed.width = std::max(placed.width, 1);
    placed.height = std::max(placed.height, 1);
    placed.left = boxLeft + (boxWidth - placed.width) / 2;
    placed.top = boxTop + (boxHeight - placed.height) / 2;
    return placed;
}
