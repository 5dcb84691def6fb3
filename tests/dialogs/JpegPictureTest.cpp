#include "dialogs/JpegPicture.h"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> AboutPicture() {
    std::ifstream file(TV_RESOURCES_DIR "/pictures/About.jpg", std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(DecodeJpeg, TheAboutPictureDecodesToABitmapOfItsSize) {
    const std::vector<uint8_t> data = AboutPicture();
    ASSERT_GT(data.size(), 1000u);
    const std::optional<Picture> picture = DecodeJpeg(data);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 150);
    EXPECT_EQ(picture->height, 150);
    EXPECT_EQ(picture->stride, 452u); // 450 bytes padded to 4
    ASSERT_EQ(picture->pixels.size(), 452u * 150);
    // The band's corner is near white, the centre the emblem's dark blue.
    const uint8_t* corner = &picture->pixels[0];
    EXPECT_GT(corner[0] + corner[1] + corner[2], 3 * 220);
    const uint8_t* centre = &picture->pixels[75 * picture->stride + 60 * 3];
    EXPECT_GT(centre[0], centre[2]); // blue over red, in BGR order
}

TEST(DecodeJpeg, RefusesDamagedData) {
    const std::vector<uint8_t> data = AboutPicture();
    EXPECT_FALSE(DecodeJpeg({}));
    EXPECT_FALSE(DecodeJpeg(std::span(data).first(data.size() / 2))); // cut short
    EXPECT_FALSE(DecodeJpeg(std::span(data).first(20)));
    std::vector<uint8_t> noise(data.size());
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 131 + 7);
    EXPECT_FALSE(DecodeJpeg(noise));
    std::vector<uint8_t> broken = data;
    for (std::size_t i = broken.size() / 3; i < broken.size() / 3 + 64; ++i)
        broken[i] = 0xFF;
    EXPECT_FALSE(DecodeJpeg(broken));
}

TEST(FitProportionally, KeepsProportionsWithoutEnlarging) {
    const PlacedPicture same = FitProportionally(150, 150, 8, 8, 150, 150);
    EXPECT_EQ(same.left, 8);
    EXPECT_EQ(same.width, 150);
    const PlacedPicture wide = FitProportionally(300, 150, 8, 8, 150, 150);
    EXPECT_EQ(wide.width, 150);
    EXPECT_EQ(wide.height, 75);
    EXPECT_EQ(wide.top, 8 + 37);
    const PlacedPicture small = FitProportionally(50, 100, 0, 0, 150, 150);
    EXPECT_EQ(small.width, 50);
    EXPECT_EQ(small.height, 100);
    EXPECT_EQ(small.left, 50);
}

} // namespace
