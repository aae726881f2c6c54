// Maker notes made byte by byte, sound and damaged: the parallax comes from where each
// camera writes it, and a damaged note gives none, never a read outside the note.
#include "exiffixtures.h"
#include "jpegfixtures.h"
#include "parallax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

using namespace exiffix;

namespace {
void put32(Bytes& out, size_t at, uint32_t value, bool little) {
    for (int k = 0; k < 4; ++k)
        out[at + size_t(k)] = uint8_t(value >> (little ? 8 * k : 24 - 8 * k));
}
void putFloat(Bytes& out, size_t at, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    put32(out, at, bits, true);
}
size_t find(const Bytes& in, const Bytes& what, size_t from = 0) {
    return size_t(std::search(in.begin() + long(from), in.end(), what.begin(), what.end()) -
                  in.begin());
}
// A directory entry: tag, type, count, offset (or inline value).
void putEntry(Bytes& out, size_t at, uint32_t tag, uint32_t type, uint32_t count, uint32_t offset,
              bool little) {
    put32(out, at, little ? tag | type << 16 : tag << 16 | type, little);
    put32(out, at + 4, count, little);
    put32(out, at + 8, offset, little);
}

// A file, the start of the picture whose maker note has the parallax, and that note.
struct SNoteFile {
    Bytes mBytes;
    size_t mPicture = 0, mNote = 0, mNoteEnd = 0;
};

// The TIFF bytes of an Exif block with make and maker note (0x927C of the Exif sub-IFD),
// its directories linked in circles when loops.
Bytes exifBlock(bool little, const std::string& make, const Bytes& note, bool loops = false) {
    CTiffBuilder tiff(little);
    const int ifd0 = tiff.addDirectory(), exif = tiff.addDirectory();
    tiff.ascii(ifd0, 0x010F, make);
    tiff.pointer(ifd0, 0x8769, exif);
    if (loops) {
        tiff.link(ifd0, ifd0);
        tiff.pointer(exif, 0x8769, ifd0);
        tiff.link(exif, exif);
    }
    tiff.blob(exif, 0x927C, kUndefined, uint32_t(note.size()), note);
    return tiff.bytes();
}

// The console's note: one entry, the 64-byte camera record (0x1101) at an offset from the
// TIFF header, "3DS1" and at 0x28 the float, little-endian whatever the block's order.
constexpr size_t kRecord = 18, kFloat = kRecord + 0x28;
SNoteFile nintendoFile(bool little, float parallax, const std::string& make = "Nintendo",
                       bool loops = false) {
    Bytes note(kRecord + 64, 0);
    note[little ? 0 : 1] = 1;
    putEntry(note, 2, 0x1101, kUndefined, 64, 0, little);
    std::memcpy(&note[kRecord], "3DS1", 4);
    putFloat(note, kFloat, parallax);
    Bytes tiff = exifBlock(little, make, note, loops);
    const size_t inTiff = find(tiff, note);
    put32(tiff, inTiff + 10, uint32_t(inTiff + kRecord), little);
    const size_t at = inTiff + 12;  // FF D8, the APP1 head and "Exif\0\0" come first
    return {jpegFile({app1Exif(tiff)}), 0, at, at + note.size()};
}

// The W3's note: "FUJIFILM", the offset of its little-endian directory from the note's
// start, one entry (0xB211, a signed rational, or a version when not withParallax).
constexpr size_t kFujiEntry = 14, kFujiValue = 30;
Bytes fujiNote(bool withParallax, int32_t numerator, int32_t denominator) {
    Bytes note(kFujiValue + 8, 0);
    std::memcpy(note.data(), "FUJIFILM\x0C", 9);
    note[12] = 1;
    putEntry(note, kFujiEntry, withParallax ? 0xB211 : 0, 10, 1, kFujiValue, true);
    put32(note, kFujiValue, uint32_t(numerator), true);
    put32(note, kFujiValue + 4, uint32_t(denominator), true);
    return note;
}

// A real MPO file whose two pictures carry a FUJIFILM note, only the second the parallax.
SNoteFile fujiFile(bool little, int32_t numerator, int32_t denominator, size_t gap = 0) {
    auto picture = [&](const Bytes& note) {
        Bytes payload = bytesOf(std::string("Exif\0\0", 6));
        const Bytes tiff = exifBlock(little, "FUJIFILM", note);
        payload.insert(payload.end(), tiff.begin(), tiff.end());
        jpegfix::SJpegFixture fixture;
        fixture.mSegments.push_back({0xE1, payload});
        return jpegfix::encodeJpeg(fixture);
    };
    const Bytes note = fujiNote(true, numerator, denominator);
    jpegfix::SMpoFixture layout;
    layout.mGap = gap;
    const jpegfix::SMpo mpo = buildMpo(picture(fujiNote(false, 0, 1)), picture(note), layout);
    const size_t second = size_t(mpo.mSecondOffset), at = find(mpo.mBytes, note, second);
    return {mpo.mBytes, second, at, at + note.size()};
}

std::string readBytes(const CTempFolder& folder, const Bytes& bytes) {
    const SCameraParallax p = readCameraParallax(folder.write("p.jpg", bytes));
    return p.mFound ? p.mSource + " " + std::to_string(p.mValue) : "none";
}

// Each damage(bytes, file) of a copy of the file gives "none".
using Damage = std::pair<const char*, std::function<void(Bytes&, const SNoteFile&)>>;
void expectNoneAfter(const SNoteFile& file, const std::vector<Damage>& damages) {
    CTempFolder folder;
    for (const Damage& damage : damages) {
        Bytes bytes = file.mBytes;
        damage.second(bytes, file);
        EXPECT_EQ(readBytes(folder, bytes), "none") << damage.first;
    }
}
// A 32-bit value at an offset from the note's start.
Damage inNote(const char* what, size_t offset, uint32_t value, bool little) {
    return {what, [=](Bytes& b, const SNoteFile& f) { put32(b, f.mNote + offset, value, little); }};
}
// The count (field 4) or offset (8) of the Exif sub-IFD's maker note entry.
Damage noteEntry(const char* what, size_t field, uint32_t value, bool little) {
    const Bytes entry = little ? Bytes{0x7C, 0x92, 7, 0} : Bytes{0x92, 0x7C, 0, 7};
    return {what, [=](Bytes& b, const SNoteFile& f) {
                put32(b, find(b, entry, f.mPicture) + field, value, little);
            }};
}

// Every cut of the picture: the parallax is there exactly when the whole note is.
void expectCutsRead(const SNoteFile& file, const std::string& whole) {
    CTempFolder folder;
    testing::internal::CaptureStderr();  // the Exif reader's warnings about cut directories
    for (size_t size = file.mPicture; size < file.mBytes.size(); ++size) {
        const Bytes cut(file.mBytes.begin(), file.mBytes.begin() + long(size));
        EXPECT_EQ(readBytes(folder, cut), size >= file.mNoteEnd ? whole : "none") << size;
    }
    testing::internal::GetCapturedStderr();
}
}  // namespace

TEST(CameraParallax, NintendoRecordInBothByteOrders) {
    CTempFolder folder;
    EXPECT_EQ(readBytes(folder, nintendoFile(false, -35.25f).mBytes), "Nintendo -35.250000");
    EXPECT_EQ(readBytes(folder, nintendoFile(true, 0.5f, "Nintendo", true).mBytes),
              "Nintendo 0.500000");  // directories linked in circles end the walk, not the read
    // Under another make the note is any maker's directory, where 0x1101 means nothing.
    EXPECT_EQ(readBytes(folder, nintendoFile(false, 2.0f, "Nikon").mBytes), "none");
    EXPECT_FALSE(readCameraParallax(folder.path("missing.jpg")).mFound);
}

TEST(CameraParallax, FujifilmNoteOfTheSecondPicture) {
    CTempFolder folder;
    for (const bool little : {true, false})  // the note is little-endian in either block
        EXPECT_EQ(readBytes(folder, fujiFile(little, -5376, 3584).mBytes), "FUJIFILM -1.500000");
    // The second picture reads as a file of its own, without what lies before it.
    const SNoteFile far = fujiFile(true, 3, 2, 1 << 20);
    const std::string path = folder.write("far.mpo", far.mBytes);
    EXPECT_EQ(readCameraParallax(path).mValue, 1.5);
    SFileBuffer buffer;
    ASSERT_TRUE(buffer.openAt(path.c_str(), int64_t(far.mPicture)));
    EXPECT_EQ(buffer.size(), int64_t(far.mBytes.size() - far.mPicture));
    EXPECT_EQ(buffer.at(0) << 8 | buffer.at(1), 0xFFD8);
    EXPECT_LE(buffer.capacity(), 4096u);
    EXPECT_FALSE(buffer.openAt(path.c_str(), int64_t(far.mBytes.size()) + 1));
}

TEST(CameraParallax, DamagedNintendoNotesGiveNone) {
    const SNoteFile file = nintendoFile(false, 1.25f);
    const uint32_t noteInTiff = uint32_t(file.mNote - 12);
    const auto putFloatAt = [](float value) {
        return [value](Bytes& b, const SNoteFile& f) { putFloat(b, f.mNote + kFloat, value); };
    };
    expectNoneAfter(
        file,
        {
            inNote("record outside the file", 10, 0xFFFFFFF0, false),
            inNote("record one byte over the note's end", 10, noteInTiff + kRecord + 1, false),
            inNote("record too short for the float", 6, 0x28, false),
            inNote("record of an unknown type", 2, 0x1101000D, false),
            {"not a number", putFloatAt(NAN)},
            {"infinite", putFloatAt(INFINITY)},
            noteEntry("note one byte shorter than its record", 4, kRecord + 63, false),
            {"note beyond the Exif segment, sound there",
             [](Bytes& b, const SNoteFile& f) {
                 Bytes note(b.begin() + long(f.mNote), b.begin() + long(f.mNoteEnd));
                 const uint32_t copy = uint32_t(b.size() - 2 + 4 - 12);  // in an APP2 before FF D9
                 put32(note, 10, copy + kRecord, false);
                 const Bytes app2 = segment(0xE2, note);
                 b.insert(b.end() - 2, app2.begin(), app2.end());
                 put32(b, find(b, {0x92, 0x7C, 0, 7}) + 8, copy, false);
             }},
        });
    expectCutsRead(file, "Nintendo 1.250000");
}

TEST(CameraParallax, DamagedFujifilmNotesGiveNone) {
    const SNoteFile file = fujiFile(true, 3, 2);
    expectNoneAfter(
        file,
        {
            inNote("directory outside the file", 8, 0xFFFFFFF0, true),
            inNote("directory inside the name (0x4946 entries of text)", 8, 4, true),
            inNote("value outside the file", kFujiEntry + 8, 0xFFFFFFF0, true),
            inNote("value one byte over the note's end", kFujiEntry + 8, kFujiValue + 1, true),
            inNote("unsigned rational", kFujiEntry, 0x0005B211, true),
            inNote("zero denominator", kFujiValue + 4, 0, true),
            noteEntry("note cut within its header", 4, 11, true),
            {"entry one byte over the note's end, its value inside",
             [](Bytes& b, const SNoteFile& f) {
                 put32(b, f.mNote + kFujiEntry + 8, 12, true);
                 put32(b, find(b, {0x7C, 0x92, 7, 0}, f.mPicture) + 4, kFujiEntry + 11, true);
             }},
            {"second picture wiped",
             [](Bytes& b, const SNoteFile& f) {
                 std::fill(b.begin() + long(f.mPicture), b.end(), 0);
             }},
        });
    expectCutsRead(file, "FUJIFILM 1.500000");
}

TEST(CameraParallax, InPixelsOfThePicture) {
    SCameraParallax nintendo;
    nintendo.mFound = true;
    nintendo.mValue = -26.25;
    nintendo.mSource = "Nintendo";
    EXPECT_DOUBLE_EQ(cameraParallaxPixels(nintendo, 640), -52.5);   // the console's 640 px
    EXPECT_DOUBLE_EQ(cameraParallaxPixels(nintendo, 320), -26.25);  // a shrunk view
    SCameraParallax fuji = nintendo;
    fuji.mSource = "FUJIFILM";
    fuji.mValue = 1.5;
    EXPECT_DOUBLE_EQ(cameraParallaxPixels(fuji, 3584), 53.76);  // percent of the width
    // None found, a value no one can view (a corrupt note), no width: no shift at all.
    for (const auto& [parallax, width] :
         {std::pair{SCameraParallax(), 640}, std::pair{nintendo, 0}, std::pair{fuji, -5}}) {
        EXPECT_TRUE(std::isnan(cameraParallaxPixels(parallax, width)));
    }
    fuji.mValue = 25.5;
    EXPECT_TRUE(std::isnan(cameraParallaxPixels(fuji, 3584)));
    fuji.mValue = NAN;
    EXPECT_TRUE(std::isnan(cameraParallaxPixels(fuji, 3584)));
}
