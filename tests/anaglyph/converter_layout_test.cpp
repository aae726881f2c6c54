// The converter's 3D-screen layouts as other programs read them: Pillow compares each
// output's pixels with the MPO's own two frames as Pillow decodes them, and exiftool reads
// the JPS markers.
#include "converterfixture.h"

using namespace convtest;

namespace {

// What Pillow finds: the largest mean difference, over the output's parts, between each
// part and the frame that belongs there (part = rows, columns, squares, halves).
const char* const kCompare = R"PY(
import sys
from PIL import Image, ImageChops, ImageStat
mpo, out, layout = sys.argv[1], sys.argv[2], sys.argv[3]
src = Image.open(mpo)
src.seek(0); left = src.convert("RGB").copy()
src.seek(1); right = src.convert("RGB").copy()
o = Image.open(out).convert("RGB")
w, h = left.size
def mean(a, b):
    return sum(ImageStat.Stat(ImageChops.difference(a, b)).mean) / 3
def pick(test):
    # the output's pixels where test(x, y) holds against the same pixels of each view
    lp, rp, op = left.load(), right.load(), o.load()
    dl = dr = n = 0
    for y in range(h):
        for x in range(w):
            if test(x, y):
                p = op[x, y]; a = lp[x, y]; b = rp[x, y]
                dl += sum(abs(p[i] - a[i]) for i in range(3)) / 3
                dr += sum(abs(p[i] - b[i]) for i in range(3)) / 3
                n += 1
    return dl / n, dr / n
if layout == "rows":
    parts = [pick(lambda x, y: y % 2 == 0), pick(lambda x, y: y % 2 == 1)[::-1]]
elif layout == "columns":
    parts = [pick(lambda x, y: x % 2 == 0), pick(lambda x, y: x % 2 == 1)[::-1]]
elif layout == "checkerboard":
    parts = [pick(lambda x, y: (x + y) % 2 == 0), pick(lambda x, y: (x + y) % 2 == 1)[::-1]]
elif layout == "over-under":
    a, b = o.crop((0, 0, w, h)), o.crop((0, h, w, 2 * h))
    parts = [(mean(a, left), mean(a, right)), (mean(b, right), mean(b, left))]
elif layout == "half-parallel":
    a = o.crop((0, 0, w // 2, h)).resize((w, h), Image.BILINEAR)
    b = o.crop((w // 2, 0, w, h)).resize((w, h), Image.BILINEAR)
    parts = [(mean(a, left), mean(a, right)), (mean(b, right), mean(b, left))]
elif layout == "half-over-under":
    a = o.crop((0, 0, w, h // 2)).resize((w, h), Image.BILINEAR)
    b = o.crop((0, h // 2, w, h)).resize((w, h), Image.BILINEAR)
    parts = [(mean(a, left), mean(a, right)), (mean(b, right), mean(b, left))]
print(o.size[0], o.size[1], max(p[0] for p in parts), min(p[1] for p in parts))
)PY";

bool havePillow() {
    return runCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null").mStatus == 0;
}

}  // namespace

TEST_F(Converter, EveryScreenLayoutPutsEachViewWherePillowFindsIt) {
    if (!havePillow())
        GTEST_SKIP() << "Pillow is missing from /usr/bin/python3 (Debian: python3-pil)";
    const int w = 64, h = 48;
    writeBytes(work("pair.mpo"), mpoOf(view(w, h, false), view(w, h, true), w, h, 1));
    std::ofstream(mScratch.path("compare.py")) << kCompare;
    struct SCase {
        const char *layout, *output;
        int width, height;
    };
    for (const SCase& c :
         {SCase{"rows", "pair-rows.png", w, h}, SCase{"columns", "pair-columns.png", w, h},
          SCase{"checkerboard", "pair-checkerboard.png", w, h},
          SCase{"over-under", "pair-over-under.jpg", w, 2 * h},
          SCase{"half-parallel", "pair-half-parallel.jpg", w, h},
          SCase{"half-over-under", "pair-half-over-under.jpg", w, h}}) {
        SCOPED_TRACE(c.layout);
        const SRun r = run(std::string("--quality 100 --layout ") + c.layout + " pair.mpo");
        ASSERT_EQ(r.status, 0) << r.err;
        std::istringstream seen(runCommand("/usr/bin/python3 " +
                                           shellQuote(mScratch.path("compare.py")) + " " +
                                           shellQuote(work("pair.mpo")) + " " +
                                           shellQuote(work(c.output)) + " " + c.layout)
                                    .mOutput);
        int width = 0, height = 0;
        double own = 1e9, other = 0;
        seen >> width >> height >> own >> other;
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
        // Each part is its own view (JPEG rounding; half sizes squeezed and stretched
        // back), and clearly not the other one.
        const bool half = std::string(c.layout).rfind("half", 0) == 0;
        EXPECT_LT(own, half ? 6.0 : 2.0);
        EXPECT_GT(other, 3 * (half ? 6.0 : 2.0));
    }
}

TEST_F(Converter, OverUnderAndHalfJpsMarkersAreReadAsWrittenAndInterleavedJpegsRefused) {
    writeBytes(work("pair.mpo"), mpoOf(view(64, 48, false), view(64, 48, true), 64, 48, 1));
    struct SCase {
        const char *layout, *type, *flags;
    };
    for (const SCase& c :
         {SCase{"over-under", "Over Under", "Left field first"},
          SCase{"half-parallel", "Side By Side", "Half width, Left field first"},
          SCase{"half-over-under", "Over Under", "Half height, Left field first"}}) {
        SCOPED_TRACE(c.layout);
        const SRun r = run(std::string("--layout ") + c.layout + " -o out.jps pair.mpo");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string jps =
            runCommand("exiftool -s -JPS:all " + shellQuote(work("out.jps"))).mOutput;
        EXPECT_THAT(jps, testing::ContainsRegex(std::string("JPSLayout +: ") + c.type + "\n"));
        EXPECT_THAT(jps, testing::ContainsRegex(std::string("JPSFlags +: ") + c.flags + "\n"));
        std::remove(work("out.jps").c_str());
    }
    // The views' rows would bleed into each other through a JPEG's shared colours.
    const SRun r = run("--layout rows -o rows.jpg pair.mpo");
    EXPECT_NE(r.status, 0);
    EXPECT_THAT(r.err, testing::HasSubstr("does not end in .png"));
    EXPECT_FALSE(exists(work("rows.jpg")));
}
