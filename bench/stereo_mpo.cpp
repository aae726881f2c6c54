// A camera-like stereo MPO for the converter's benchmark, made in a second or two: two
// photo-like views (smooth colour, soft blobs, fine noise) that differ by a disparity
// growing towards the bottom, JPEG at quality 90 with the left one's Exif block, and
// both pictures also as plain JPEG files for the reference decoder.
//   stereo_mpo WIDTH HEIGHT OUT.mpo     (writes OUT.mpo, OUT-left.jpg and OUT-right.jpg)
#include "exifwrite.h"
#include "jpegwrite.h"
#include "mpowrite.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<uint8_t> view(int width, int height, bool right) {
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    auto rows = [&](int first, int end) {
        uint32_t noise = 2463534242u + uint32_t(first) * 7919u + (right ? 1013u : 0u);
        for (int y = first; y < end; ++y) {
            const double v = double(y) / height;
            // Nearer towards the bottom: the right view sees things further left.
            const double disparity = right ? 0.004 + 0.02 * v : 0.0;
            for (int x = 0; x < width; ++x) {
                const double u = double(x) / width + disparity;
                const double blob =
                    40 * std::sin(9 * u + 3 * std::sin(7 * v)) * std::cos(6 * v + 2 * u);
                uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
                for (int c = 0; c < 3; ++c) {
                    noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
                    const double value = 60 + 90 * v + 50 * u * (c + 1) / 3 + blob * (1 - 0.3 * c) +
                                         double(noise % 17) - 8;
                    p[c] = uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
                }
            }
        }
    };
    std::thread other(rows, 0, height / 2);
    rows(height / 2, height);
    other.join();
    return rgb;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return file && std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: stereo_mpo WIDTH HEIGHT OUT.mpo\n", stderr);
        return 2;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
    std::string out = argv[3];
    const std::string base = out.size() > 4 ? out.substr(0, out.size() - 4) : out;

    SExifWrite exif;
    exif.mDateTime = "2023:08:14 16:20:05";
    exif.mMake = "FUJIFILM";
    exif.mModel = "FinePix REAL 3D W3";
    exif.mPixelWidth = width;
    exif.mPixelHeight = height;
    SJpegWrite leftOptions;
    leftOptions.mApp1 = buildExifPayload(exif);
    const std::vector<uint8_t> left =
        encodeJpeg(view(width, height, false).data(), width, height, leftOptions);
    const std::vector<uint8_t> right =
        encodeJpeg(view(width, height, true).data(), width, height, SJpegWrite());
    const std::vector<uint8_t> mpo = buildMpoFile(left, right, 0.075);
    if (mpo.empty() || !writeFile(out, mpo) || !writeFile(base + "-left.jpg", left) ||
        !writeFile(base + "-right.jpg", right)) {
        std::fprintf(stderr, "stereo_mpo: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
