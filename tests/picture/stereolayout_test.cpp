// Stereo pictures in one file: JPS records as exiftool reads them, PNS order chunks, both
// written by Pillow; cuts compared with Pillow's own frames and resizes; the names of
// layouts and of pairs kept in two files.
#include "stereolayout.h"

#include "pngio.h"
#include "tempfolder.h"
#include "writehelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

using namespace writetest;
using Bytes = std::vector<uint8_t>;
using L = EStoredLayout;

void PrintTo(const SStoredLayout& layout, std::ostream* out) {
    *out << "layout " << int(layout.mLayout) << (layout.mHalf ? " half" : " full");
}

namespace {

// Writes the pictures the tests read: JPS files (argv[2] == "jps", one per descriptor
// given), PNS files ("pns"), or two different views cut into every layout ("split").
const char kScript[] = R"PY(
import os, struct, sys, zlib
from PIL import Image
out, what = sys.argv[1], sys.argv[2]
def app3(payload):
    return b"\xff\xe3" + struct.pack(">H", len(payload) + 2) + payload
im = Image.effect_mandelbrot((48, 32), (-2, -1, 1, 1), 40).convert("RGB")
if what == "jps":
    for d in sys.argv[3:]:
        jps = b"_JPSJPS_" + struct.pack(">HI", 4, int(d, 16)) + b"\0\0"
        im.save(os.path.join(out, d + ".jps"), "JPEG", extra=app3(b"other") + app3(jps))
elif what == "pns":
    # Pillow keeps only the public chunks it knows: sTER goes in after IHDR by hand.
    path = os.path.join(out, "none.pns")
    im.save(path, "PNG")
    png = open(path, "rb").read()
    for name, mode in (("parallel", b"\1"), ("cross", b"\0")):
        ster = struct.pack(">I", 1) + b"sTER" + mode
        ster += struct.pack(">I", zlib.crc32(ster[4:]))
        open(os.path.join(out, name + ".pns"), "wb").write(png[:33] + ster + png[33:])
else:
    corpus = os.environ.get("RUVELLO_TEST_CORPUS")
    if corpus:
        mpo = Image.open(os.path.join(corpus, "mpo", "HNI_0008.MPO"))
        left = mpo.convert("RGB")
        mpo.seek(1)
        right = mpo.convert("RGB")
    else:
        left = Image.effect_mandelbrot((160, 120), (-2, -1, 1, 1), 60).convert("RGB")
        right = Image.radial_gradient("L").resize((160, 120)).convert("RGB")
    w, h = left.size
    def put(name, size, a, at):
        both = Image.new("RGB", size, (255, 0, 255))  # the odd column or row: magenta
        both.paste(a[0], (0, 0))
        both.paste(a[1], at)
        both.save(os.path.join(out, name + ".png"))
    def raw(name, image):
        open(os.path.join(out, name + ".rgb"), "wb").write(image.tobytes())
    raw("left", left)
    raw("right", right)
    put("sbs_lr", (2 * w + 1, h), (left, right), (w, 0))
    put("sbs_rl", (2 * w + 1, h), (right, left), (w, 0))
    put("ou_lr", (w, 2 * h + 1), (left, right), (0, h))
    halves = [v.resize((w // 2, h), Image.BILINEAR) for v in (left, right)]
    put("hsbs_lr", (2 * (w // 2) + 1, h), halves, (w // 2, 0))
    raw("hsbs_left", halves[0].resize((2 * (w // 2), h), Image.BILINEAR))
    raw("hsbs_right", halves[1].resize((2 * (w // 2), h), Image.BILINEAR))
    halves = [v.resize((w, h // 2), Image.BILINEAR) for v in (right, left)]
    put("hou_rl", (w, 2 * (h // 2)), halves, (0, h // 2))
    raw("hou_left", halves[1].resize((w, 2 * (h // 2)), Image.BILINEAR))
    raw("hou_right", halves[0].resize((w, 2 * (h // 2)), Image.BILINEAR))
)PY";

// Runs the script into folder; false when Pillow is missing.
bool makePictures(const CTempFolder& folder, const std::string& arguments) {
    if (runCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null").mStatus != 0)
        return false;
    const std::string script = folder.path("make.py");
    std::ofstream(script) << kScript;
    const SCommandResult made = runCommand("/usr/bin/python3 " + shellQuote(script) + " " +
                                           shellQuote(folder.path()) + " " + arguments);
    EXPECT_EQ(made.mStatus, 0) << made.mOutput;
    return made.mStatus == 0;
}

Bytes fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::optional<SStoredLayout> jpsOfFile(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    EXPECT_NE(file, nullptr) << path;
    const auto layout = file ? readJpsMarker(file) : std::nullopt;
    if (file)
        std::fclose(file);
    return layout;
}

// Every prefix of the file, each in a buffer of its own size so that a read past its end
// is the sanitizer's to see: nothing until the record is whole, then the record's layout.
template <typename Reader>
void checkPrefixes(const Bytes& file, size_t recordEnd, Reader read) {
    const auto whole = read(file.data(), file.size());
    ASSERT_TRUE(whole.has_value());
    for (size_t size = 0; size <= std::min(file.size(), recordEnd + 40); ++size) {
        const Bytes prefix(file.begin(), file.begin() + long(size));
        const auto layout = read(prefix.data(), prefix.size());
        EXPECT_EQ(layout.has_value(), size >= recordEnd) << "first " << size << " bytes";
        if (layout) {
            EXPECT_EQ(*layout, *whole);
        }
    }
}

// Largest difference of a sample between the view and the raw RGB file Pillow wrote.
int largestDifference(const SImageHandle& view, const std::string& rawPath) {
    const Bytes expected = fileBytes(rawPath);
    EXPECT_EQ(imageByteSize(*view), int64_t(expected.size())) << rawPath;
    if (imageByteSize(*view) != int64_t(expected.size()))
        return 256;
    int largest = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        largest = std::max(largest, std::abs(int(view->mPixels[i]) - int(expected[i])));
    return largest;
}

}  // namespace

TEST(StereoLayout, JpsRecordsReadAsExiftoolReadsThem) {
    // The descriptor, exiftool's reading of it (layout, flags), and ours.
    const struct {
        const char* mDescriptor;
        const char* mLayoutWords;
        const char* mFlagWords;
        SStoredLayout mLayout;
    } cases[] = {
        // what the anaglyph export writes, parallel and crossed; a separation of 10
        {"0a040201", "Side By Side", "Left field first", {L::SideBySideLR, false}},
        {"00000201", "Side By Side", "", {L::SideBySideRL, false}},
        {"00020201", "Side By Side", "Half width", {L::SideBySideRL, true}},
        {"00050301", "Over Under", "Half height, Left field first", {L::OverUnderLR, true}},
        {"00000301", "Over Under", "", {L::OverUnderRL, false}},
        {"00040401", "Anaglyph", "Left field first", {L::Mono, false}},
    };
    CTempFolder folder;
    std::string descriptors;
    for (const auto& c : cases)
        descriptors += std::string(" ") + c.mDescriptor;
    if (!makePictures(folder, "jps" + descriptors))
        GTEST_SKIP() << "no Pillow in /usr/bin/python3: no JPS files to read";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mDescriptor);
        const std::string path = folder.path(std::string(c.mDescriptor) + ".jps");
        const SCommandResult exif =
            runCommand("exiftool -s3 -JPSLayout -JPSFlags " + shellQuote(path));
        ASSERT_EQ(exif.mStatus, 0);
        EXPECT_EQ(trimmed(exif.mOutput),
                  std::string(c.mLayoutWords) + "\n" + (*c.mFlagWords ? c.mFlagWords : "(none)"));
        const auto layout = jpsOfFile(path);
        ASSERT_TRUE(layout.has_value());
        EXPECT_EQ(*layout, c.mLayout);
        // The record after an APP3 of another kind: it ends 14 bytes after its name.
        const Bytes bytes = fileBytes(path);
        const char name[] = "_JPSJPS_";
        const size_t at =
            size_t(std::search(bytes.begin(), bytes.end(), name, name + 8) - bytes.begin());
        checkPrefixes(bytes, at + 14,
                      [](const uint8_t* b, size_t n) { return readJpsMarker(b, n); });
    }
    // A JPEG without the record, and one whose first segment claims more than the file has.
    const std::string plain =
        folder.write("plain.jpg", {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x02, 0xFF, 0xDA, 0x00, 0x02});
    EXPECT_FALSE(jpsOfFile(plain).has_value());
    EXPECT_FALSE(
        jpsOfFile(folder.write("long.jpg", {0xFF, 0xD8, 0xFF, 0xE3, 0xFF, 0xF0, '_'})).has_value());
}

TEST(StereoLayout, PnsOrderFromItsChunkElseCrossed) {
    CTempFolder folder;
    if (!makePictures(folder, "pns"))
        GTEST_SKIP() << "no Pillow in /usr/bin/python3: no PNS files to read";
    const Bytes parallel = fileBytes(folder.path("parallel.pns"));
    const Bytes cross = fileBytes(folder.path("cross.pns"));
    const Bytes none = fileBytes(folder.path("none.pns"));
    FILE* file = std::fopen(folder.path("parallel.pns").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(readPnsOrder(file), (SStoredLayout{L::SideBySideLR, false}));
    std::fclose(file);
    EXPECT_EQ(readPnsOrder(cross.data(), cross.size()), (SStoredLayout{L::SideBySideRL, false}));
    EXPECT_FALSE(readPnsOrder(none.data(), none.size()).has_value());
    EXPECT_EQ(layoutFromName(folder.path("none.pns")), (SStoredLayout{L::SideBySideRL, false}));
    // The chunk: length, name, one byte.
    const char name[] = "sTER";
    const size_t at =
        size_t(std::search(parallel.begin(), parallel.end(), name, name + 4) - parallel.begin());
    checkPrefixes(parallel, at + 5, [](const uint8_t* b, size_t n) { return readPnsOrder(b, n); });
}

TEST(StereoLayout, ViewsCutAsPillowMadeThem) {
    CTempFolder folder;
    if (!makePictures(folder, "split"))
        GTEST_SKIP() << "no Pillow in /usr/bin/python3: no pictures to cut";
    if (!std::getenv("RUVELLO_TEST_CORPUS"))
        std::printf("RUVELLO_TEST_CORPUS unset: views made by Pillow instead of an MPO's\n");
    const auto recycler = std::make_shared<CPixelRecycler>();
    const struct {
        const char* mName;
        SStoredLayout mLayout;
        const char* mLeft;
        const char* mRight;
        int mTolerance;  // full views are copies; stretched ones differ in rounding
    } cases[] = {
        {"sbs_lr", {L::SideBySideLR, false}, "left", "right", 0},
        {"sbs_rl", {L::SideBySideRL, false}, "left", "right", 0},
        {"ou_lr", {L::OverUnderLR, false}, "left", "right", 0},
        {"hsbs_lr", {L::SideBySideLR, true}, "hsbs_left", "hsbs_right", 3},
        {"hou_rl", {L::OverUnderRL, true}, "hou_left", "hou_right", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mName);
        const SImageHandle both = readPngFile(folder.path(std::string(c.mName) + ".png").c_str());
        ASSERT_EQ(both->mChannels, 3);
        const auto views = splitStereoImage(*both, c.mLayout, recycler);
        EXPECT_LE(largestDifference(views.first, folder.path(std::string(c.mLeft) + ".rgb")),
                  c.mTolerance);
        EXPECT_LE(largestDifference(views.second, folder.path(std::string(c.mRight) + ".rgb")),
                  c.mTolerance);
    }
    SImage tiny = *readPngFile(folder.path("sbs_lr.png").c_str());
    tiny.mWidth = 1;
    EXPECT_EQ(splitStereoImage(tiny, {L::SideBySideLR, true}, recycler).first->mPixels, nullptr);
}

TEST(StereoLayout, NamesOfLayoutsAndPairs) {
    const struct {
        const char* mName;
        SStoredLayout mLayout;
    } layouts[] = {
        {"dir_tb/holiday.jpg", {L::Mono, false}},  // a folder's hint is not the file's
        {"holiday_SBS.jpg", {L::SideBySideLR, false}},
        {"holiday-rl.png", {L::SideBySideRL, false}},
        {"holiday_lrh.jpg", {L::SideBySideLR, true}},
        {"holiday-HSBS_2.jpg", {L::SideBySideLR, true}},
        {"holiday_htb.jpg", {L::OverUnderLR, true}},
        {"holiday-bt.jpg", {L::OverUnderRL, false}},
        {"holiday-hou.jpg", {L::OverUnderLR, true}},
        {"world_tour_lr.jps", {L::SideBySideLR, false}},
        {"world.JPS", {L::SideBySideRL, false}},
        {"curls.jpg", {L::Mono, false}},  // "rl" inside a word
        {"my_lrx.jpg", {L::Mono, false}},
    };
    for (const auto& c : layouts)
        EXPECT_EQ(layoutFromName(c.mName), c.mLayout) << c.mName;

    const struct {
        const char* mPath;
        const char* mPartner;  // empty: no eye marked
        bool mPartnerIsLeft;
    } pairs[] = {
        {"/p/IMG_0001_L.JPG", "/p/IMG_0001_R.JPG", false},
        {"/p/img-r.jpg", "/p/img-l.jpg", true},
        {"/p/img.R.tif", "/p/img.L.tif", true},
        {"/p/Beach_Left.png", "/p/Beach_Right.png", false},
        {"/p/beach_RIGHT.png", "/p/beach_LEFT.png", true},
        {"/p/Left/beach.jpg", "/p/Right/beach.jpg", false},
        {"r/beach.jpg", "l/beach.jpg", true},
        {"/p/hotel.jpg", "", false},
        {"/p/_L.jpg", "", false},
    };
    for (const auto& c : pairs) {
        const SPairPartner partner = pairPartner(c.mPath);
        EXPECT_EQ(partner.mPath, c.mPartner) << c.mPath;
        if (*c.mPartner) {
            EXPECT_EQ(partner.mPartnerIsLeft, c.mPartnerIsLeft) << c.mPath;
        }
    }
}
