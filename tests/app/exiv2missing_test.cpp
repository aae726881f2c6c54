// Turning a photo on a machine without exiv2: the message says which package to install.
#include "exifOrientation.h"
#include "jpegwrite.h"
#include "scopedenv.h"
#include "tempfolder.h"

#include <QFile>

#include <gtest/gtest.h>

TEST(ExifOrientationWithoutExiv2, NamesThePackageToInstall) {
    CTempFolder temp;
    const std::vector<uint8_t> grey(32 * 24 * 3, 128);
    // Without an Exif block the tag must be added, which exiv2 does.
    const std::string photo =
        temp.write("photo.jpg", encodeJpeg(grey.data(), 32, 24, SJpegWrite()));
    const CScopedEnv path("PATH", temp.path());  // nothing to run there
    QString why;
    EXPECT_FALSE(writeExifOrientation(QFile::decodeName(photo.c_str()), 6, &why));
    EXPECT_TRUE(why.contains("install the package exiv2")) << why.toStdString();
}
