// Putting an ICC profile together from the APP2 pieces of a JPEG file: every way the
// pieces can fail to fit gives no profile and says why; the MP index and other APP2
// segments are no pieces.
#include "colourprofile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A profile-like run of bytes whose first four say its size, as an ICC header does.
Bytes profileOf(size_t size) {
    Bytes bytes(size);
    for (size_t i = 4; i < size; ++i)
        bytes[i] = uint8_t(i * 31);
    for (int i = 0; i < 4; ++i)
        bytes[size_t(i)] = uint8_t(size >> (24 - 8 * i));
    return bytes;
}

Bytes piece(int number, int count, const Bytes& data) {
    Bytes bytes = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
    bytes.push_back(uint8_t(number));
    bytes.push_back(uint8_t(count));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

Bytes assemble(const std::vector<Bytes>& segments, std::string* why) {
    std::vector<std::pair<const uint8_t*, size_t>> views;
    for (const Bytes& segment : segments)
        views.emplace_back(segment.data(), segment.size());
    return assembleIccProfile(views, why);
}

}  // namespace

TEST(IccPieces, OnlyPiecesThatFitMakeAProfile) {
    const Bytes profile = profileOf(300);
    const Bytes a(profile.begin(), profile.begin() + 100),
        b(profile.begin() + 100, profile.begin() + 200), c(profile.begin() + 200, profile.end());
    const Bytes mpf = {'M', 'P', 'F', 0, 'M', 'M', 0, 42};
    Bytes padded = c;
    padded.resize(c.size() + 3);  // padding after the profile's own end is dropped

    std::string why;
    EXPECT_EQ(assemble({piece(3, 3, padded), mpf, piece(1, 3, a), piece(2, 3, b)}, &why), profile);
    EXPECT_EQ(why, "");
    EXPECT_TRUE(assemble({mpf}, &why).empty());
    EXPECT_EQ(why, "");  // no pieces: no profile, nothing wrong

    const std::vector<std::pair<std::vector<Bytes>, std::string>> bad = {
        {{piece(1, 3, a), piece(3, 3, c)}, "piece 2 of 3 is missing"},
        {{piece(1, 3, a), piece(1, 3, b), piece(3, 3, c)}, "piece 1 twice"},
        {{piece(1, 3, a), piece(2, 2, b), piece(3, 3, c)}, "counts 3 and 2"},
        {{piece(0, 3, a), piece(2, 3, b), piece(3, 3, c)}, "piece 0 of 3"},
        {{piece(4, 3, a), piece(2, 3, b), piece(3, 3, c)}, "piece 4 of 3"},
        {{piece(1, 0, profile)}, "a count of 0 pieces"},
        {{piece(1, 2, a), piece(2, 2, Bytes())}, "a piece without data"},
        {{piece(1, 2, a), piece(2, 2, b)}, "the profile says it has 300 bytes, 200 came"},
        {{piece(1, 1, Bytes(200, 0))}, "the profile says it has 0 bytes, 200 came"},
    };
    for (const auto& [segments, reason] : bad) {
        SCOPED_TRACE(reason);
        why.clear();
        EXPECT_TRUE(assemble(segments, &why).empty());
        EXPECT_EQ(why, "the colour profile's pieces do not fit: " + reason);
    }
}
