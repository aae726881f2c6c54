#pragma once
// Pictures for the GL view's window tests, written with the program's own encoders,
// and the steps that drive a real view: wait for its frames, find the picture in them.
#include <QImage>
#include <QPoint>

#include <cstdint>
#include <string>
#include <vector>

class GLWidget;

namespace viewfix {

struct SRgb {
    int mWidth = 0, mHeight = 0;
    std::vector<uint8_t> mPixels;  // RGB, top row first
    const uint8_t* at(int x, int y) const { return &mPixels[(size_t(y) * mWidth + x) * 3]; }
};

// Smooth colour waves that differ with the seed, so that two views of a pair differ.
SRgb wavePicture(int width, int height, int seed);
SRgb solidPicture(int width, int height, uint8_t r, uint8_t g, uint8_t b);
// Columns and rows of one pixel in alternating colours: any blur or scaling shows.
SRgb stripePicture(int width, int height);

// A JPEG; with a thumbnail, an Exif block carries it and the picture's size.
std::vector<uint8_t> jpegFile(const SRgb& picture, const SRgb* thumbnail = nullptr);
// A stereo MPO whose first picture carries the Exif thumbnail.
std::vector<uint8_t> mpoFile(const SRgb& left, const SRgb& right, const SRgb* thumbnail);
void writePng(const std::string& path, const SRgb& picture);

// The view's pixels as decodeForView gives them: left or right picture of a file.
SRgb decodedPicture(const std::string& path, bool right);

// Repaints and waits for the frame to reach the window.
bool waitFrame(GLWidget& view);
// Turns the event loop until the view has every picture its frame needs, and painted.
bool waitComplete(GLWidget& view);
// The frame as read back, without the transient overlay.
QImage settledFrame(GLWidget& view);
// Where the picture's top left pixel lies in settledFrame() at zoom 1.
QPoint pictureOrigin(GLWidget& view);

}  // namespace viewfix
