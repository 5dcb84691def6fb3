// JPEG pictures decoded with libjpeg into the pixel layout of a 24-bit
// device-independent bitmap: rows from the top, blue-green-red, each row
// padded to a multiple of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct Picture {
    int width = 0;
    int height = 0;
    std::size_t stride = 0; // bytes per row
    std::vector<uint8_t> pixels;
};

// Pictures larger than this on either side are refused.
inline constexpr int kMaxPictureSide = 4096;

// The decoded picture; nullopt for data that is not a whole JPEG picture of
// at most kMaxPictureSide pixels a side.
std::optional<Picture> DecodeJpeg(std::span<const uint8_t> data);

// The largest size of the picture's proportions that fits the box, never
// larger than the picture itself, centred in the box: left, top, width, height.
struct PlacedPicture {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
PlacedPicture FitProportionally(int pictureWidth, int pictureHeight, int boxLeft, int boxTop,
                                int boxWidth, int boxHeight);
