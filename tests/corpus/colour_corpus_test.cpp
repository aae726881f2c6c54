// Pictures with colour profiles as the view and the exports decode them, against
// Pillow's colour management (ImageCms) of the same file. The pictures are made from a
// corpus photo whose profile is Generic RGB (gamma 1.8), whose colours are about 15
// levels off when shown unconverted.
#include "corpus.h"
#include "mpowrite.h"
#include "pngio.h"
#include "srgbreference.h"
#include "tempfolder.h"
#include "viewdecode.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

const char kPhoto[] = "exif/ianare/orientation/portrait_6.jpg";

// Makes a picture from the photo's pixels (cut to 160 x 120) and its profile:
//   png-iccp      the profile in an iCCP chunk
//   png-chunks    no profile: gAMA 1/1.8 and cHRM with Adobe-like primaries, white D50
//   jpeg-pieces   the profile in three APP2 pieces, stored out of order
//   jpeg-plain    no profile at all
//   jpeg-count    the pieces, one of them claiming a count of four
//   jpeg-damaged  one piece, its profile's signature overwritten
//   jpeg-grey     grey, with a grey profile of gamma 1.8 made by LittleCMS
//   png-alpha     with an alpha channel of every level, the profile in iCCP
// and writes the sRGB reference of png-chunks (from the chunks' colourimetry) with
// "reference" as a fourth argument.
const char kMake[] = R"(
import struct, sys
from PIL import Image, PngImagePlugin
kind, source, out = sys.argv[1:4]
photo = Image.open(source)
icc = photo.info['icc_profile']
picture = photo.convert('RGB').crop((0, 0, 160, 120))
picture.info.clear()  # Pillow would write the photo's profile into every file
gamma = 1 / 1.8
xy = [0.3457, 0.3585, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06]
def inverse(m):
    a, b, c, d, e, f, g, h, i = m[0] + m[1] + m[2]
    det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
    return [[(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det],
            [(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det],
            [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det]]
def times(m, v): return [sum(m[r][k] * v[k] for k in range(3)) for r in range(3)]
def product(m, n): return [[sum(m[r][k] * n[k][c] for k in range(3)) for c in range(3)] for r in range(3)]
def xyz(x, y): return [x / y, 1.0, (1 - x - y) / y]
def toXyz(xy):
    p = [xyz(xy[2 + 2 * i], xy[3 + 2 * i]) for i in range(3)]
    columns = [[p[c][r] for c in range(3)] for r in range(3)]
    s = times(inverse(columns), xyz(xy[0], xy[1]))
    return [[columns[r][c] * s[c] for c in range(3)] for r in range(3)]
bradford = [[0.8951, 0.2664, -0.1614], [-0.7502, 1.7135, 0.0367], [0.0389, -0.0685, 1.0296]]
def adapt(source, target):
    a, b = times(bradford, source), times(bradford, target)
    return product(inverse(bradford), product([[b[0] / a[0], 0, 0], [0, b[1] / a[1], 0], [0, 0, b[2] / a[2]]], bradford))
srgb = [0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06]
whole = product(inverse(toXyz(srgb)), product(adapt(xyz(xy[0], xy[1]), xyz(srgb[0], srgb[1])), toXyz(xy)))
def encode(l):
    l = min(1.0, max(0.0, l))
    return round(255 * (12.92 * l if l <= 0.0031308 else 1.055 * l ** (1 / 2.4) - 0.055))
def app2(number, count, data):
    body = b'ICC_PROFILE\0' + bytes([number, count]) + data
    return b'\xff\xe2' + struct.pack('>H', len(body) + 2) + body
def jpeg(segments):
    picture.save(out, quality=95, subsampling=0)
    data = open(out, 'rb').read()
    open(out, 'wb').write(data[:2] + b''.join(segments) + data[2:])
third = (len(icc) + 2) // 3
pieces = [icc[i * third:(i + 1) * third] for i in range(3)]
if kind == 'png-iccp':
    picture.save(out, icc_profile=icc)
elif kind == 'png-chunks' and len(sys.argv) > 4:
    linear = [(v / 255) ** (1 / gamma) for v in range(256)]
    reference = Image.new('RGB', picture.size)
    reference.putdata([tuple(encode(v) for v in times(whole, [linear[c] for c in p])) for p in picture.getdata()])
    reference.save(out, 'PPM')
elif kind == 'png-chunks':
    info = PngImagePlugin.PngInfo()
    info.add(b'gAMA', struct.pack('>I', round(gamma * 100000)))
    info.add(b'cHRM', struct.pack('>8I', *[round(v * 100000) for v in xy]))
    picture.save(out, pnginfo=info)
elif kind == 'jpeg-pieces':
    jpeg([app2(2, 3, pieces[1]), app2(3, 3, pieces[2]), app2(1, 3, pieces[0])])
elif kind == 'jpeg-plain':
    jpeg([])
elif kind == 'jpeg-count':
    jpeg([app2(1, 3, pieces[0]), app2(2, 4, pieces[1]), app2(3, 3, pieces[2])])
elif kind == 'jpeg-damaged':
    jpeg([app2(1, 1, icc[:36] + b'xxxx' + icc[40:])])
elif kind == 'jpeg-grey':
    import ctypes
    lcms = ctypes.CDLL('liblcms2.so.2')
    lcms.cmsBuildGamma.restype = lcms.cmsCreateGrayProfile.restype = ctypes.c_void_p
    lcms.cmsBuildGamma.argtypes = [ctypes.c_void_p, ctypes.c_double]
    lcms.cmsCreateGrayProfile.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    lcms.cmsSaveProfileToMem.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p]
    lcms.cmsD50_xyY.restype = ctypes.c_void_p
    grey = lcms.cmsCreateGrayProfile(lcms.cmsD50_xyY(), lcms.cmsBuildGamma(None, 1.8))
    size = ctypes.c_uint32(0)
    lcms.cmsSaveProfileToMem(grey, None, ctypes.byref(size))
    data = ctypes.create_string_buffer(size.value)
    lcms.cmsSaveProfileToMem(grey, data, ctypes.byref(size))
    picture.convert('L').save(out, quality=95, icc_profile=data.raw[:size.value])
elif kind == 'png-alpha':
    picture.putalpha(Image.linear_gradient('L').resize(picture.size))
    picture.save(out, icc_profile=icc)
)";

class ColourCorpus : public testing::Test {
protected:
    void SetUp() override {
        if (corpusDir().empty())
            GTEST_SKIP() << "RUVELLO_TEST_CORPUS is not set: no photo with a colour profile";
        if (!havePillowCms())
            GTEST_SKIP() << "no Pillow with ImageCms in /usr/bin/python3: no reference";
    }
    // The picture of that kind, made in the test's folder.
    std::string make(const std::string& kind, const std::string& name, bool reference = false) {
        const std::string path = mTemp.path(name);
        EXPECT_TRUE(runPython(kMake, "'" + kind + "' '" + corpusPath(kPhoto) + "' '" + path + "'" +
                                         (reference ? " reference" : "")));
        return path;
    }
    static SImageHandle decode(const std::string& path, bool rgba = false) {
        SViewDecode request{path, EViewPicture::Left, 0, kViewMaxSize, rgba};
        return decodeForView(request, nullptr);
    }

    CTempFolder mTemp;
};

}  // namespace

// The photo itself, in the view's three and four bytes a pixel, and a PNG with its
// profile in iCCP: as ImageCms converts them, and far from what they store.
TEST_F(ColourCorpus, EmbeddedProfilesShowAsImageCmsConvertsThem) {
    const std::string png = make("png-iccp", "iccp.png");
    for (const std::string& path : {corpusPath(kPhoto), png}) {
        SCOPED_TRACE(path);
        const SRgbPicture reference = pillowInSrgb(path);
        for (bool rgba : {false, true})
            EXPECT_LE(largestDifference(*decode(path, rgba), reference), 2) << "rgba " << rgba;
    }
    EXPECT_GE(largestDifference(*decode(make("jpeg-plain", "plain.jpg")),
                                pillowInSrgb(make("jpeg-pieces", "pieces.jpg"))),
              12);
}

// A grey picture with a grey profile stays grey in the profile's tones; a picture with
// transparency has its colours converted and its alpha kept.
TEST_F(ColourCorpus, GreyAndTransparentPicturesAreConvertedToo) {
    const std::string grey = make("jpeg-grey", "grey.jpg");
    EXPECT_LE(largestDifference(*decode(grey), pillowInSrgb(grey)), 2);

    const std::string png = make("png-alpha", "alpha.png");
    const SImageHandle image = decode(png);
    ASSERT_EQ(image->mChannels, 4);
    EXPECT_LE(largestDifference(*image, pillowInSrgb(png)), 2);
    const SImageHandle stored = readPngFileForView(png.c_str());
    ASSERT_EQ(stored->mChannels, 4);
    int alphaChanged = 0;
    for (size_t i = 3; i < size_t(160 * 120 * 4); i += 4)
        alphaChanged += image->mPixels[i] != stored->mPixels[i];
    EXPECT_EQ(alphaChanged, 0);
}

// gAMA and cHRM without a profile: against the colourimetry of those chunks.
TEST_F(ColourCorpus, GammaAndPrimariesOfAPngAreConverted) {
    const SRgbPicture reference =
        readPpm(make("png-chunks", "chunks-reference.ppm", /*reference=*/true));
    ASSERT_EQ(reference.mWidth, 160);
    EXPECT_LE(largestDifference(*decode(make("png-chunks", "chunks.png")), reference), 2);
}

// A profile in pieces that come out of order is put together; pieces that do not fit and
// a damaged profile leave the picture as stored, and the console says why once.
TEST_F(ColourCorpus, ProfilePiecesAreCheckedAndBadProfilesLeaveThePictureAsStored) {
    const std::string pieces = make("jpeg-pieces", "pieces.jpg");
    EXPECT_LE(largestDifference(*decode(pieces), pillowInSrgb(pieces)), 2);

    const SRgbPicture stored = pillowInSrgb(make("jpeg-plain", "plain.jpg"));
    for (const char* kind : {"jpeg-count", "jpeg-damaged"}) {
        SCOPED_TRACE(kind);
        const std::string path = make(kind, std::string(kind) + ".jpg");
        testing::internal::CaptureStderr();
        const SImageHandle first = decode(path);
        const SImageHandle again = decode(path, true);
        const std::string console = testing::internal::GetCapturedStderr();
        EXPECT_LE(largestDifference(*first, stored), 1);
        EXPECT_LE(largestDifference(*again, stored), 1);
        const size_t said = console.find("without conversion");
        EXPECT_NE(said, std::string::npos) << console;
        EXPECT_EQ(console.find("without conversion", said + 1), std::string::npos) << console;
    }
}

// A stereo pair whose second picture has no profile of its own shows both in the first
// picture's colours.
TEST_F(ColourCorpus, TheSecondPictureOfAnMpoSharesTheFirstOnesProfile) {
    auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
    };
    const std::string pieces = make("jpeg-pieces", "pieces.jpg");
    const std::string pair = mTemp.write(
        "pair.mpo", buildMpoFile(bytes(pieces), bytes(make("jpeg-plain", "plain.jpg")), 0.065));
    const SRgbPicture reference = pillowInSrgb(pieces);
    for (EViewPicture which : {EViewPicture::Left, EViewPicture::Right}) {
        const SImageHandle image =
            decodeForView(SViewDecode{pair, which, 0, kViewMaxSize}, nullptr);
        EXPECT_LE(largestDifference(*image, reference), 2) << int(which);
    }
}
