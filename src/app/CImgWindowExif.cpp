// The Exif dock in words: what each row is, its value in the units photographers use.
#include "CImgWindow.h"

#include "exif.h"

#include <QLocale>
#include <QTreeWidget>

#include <cmath>

namespace {

// The photo's exposure, as its Exif sub-directory states it; empty texts where it does not.
struct SExposure {
    QString mTime, mFNumber, mFocal, mIso, mLens;
};

struct CBlock {
    SFileBuffer& file;
    bool little = false;
    int64_t tiff = -1, end = 0;
    uint32_t u16(int64_t at) {
        const uint32_t a = file.at(at), b = file.at(at + 1);
        return little ? a | b << 8 : a << 8 | b;
    }
    uint32_t u32(int64_t at) {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    }
    bool entry(int64_t dir, uint16_t tag, SDirectoryEntry* e) {
        return findDirectoryEntry(file, tiff, end, little, dir, tiff, tag, e);
    }
    // A RATIONAL (or SHORT/LONG) value as a number; NaN when missing or zero over zero.
    double number(int64_t dir, uint16_t tag) {
        SDirectoryEntry e;
        if (!entry(dir, tag, &e))
            return std::nan("");
        if (e.mType == 3)
            return u16(e.mValue);
        if (e.mType == 4)
            return u32(e.mValue);
        if ((e.mType == 5 || e.mType == 10) && u32(e.mValue + 4) != 0)
            return double(u32(e.mValue)) / u32(e.mValue + 4);
        return std::nan("");
    }
    QString text(int64_t dir, uint16_t tag) {
        SDirectoryEntry e;
        if (!entry(dir, tag, &e) || e.mType != 2)
            return {};
        QByteArray bytes;
        for (int64_t i = 0; i < e.mBytes && file.at(e.mValue + i); ++i)
            bytes += char(file.at(e.mValue + i));
        return QString::fromUtf8(bytes).trimmed();
    }
};

// The first APP1 segment holding Exif data: its TIFF header and end, or false.
bool findExifBlock(SFileBuffer& file, int64_t* tiff, int64_t* end) {
    if (file.at(0) != 0xFF || file.at(1) != 0xD8)
        return false;
    int64_t pos = 2;
    while (pos + 4 < file.size() && file.at(pos) == 0xFF) {
        const int marker = file.at(pos + 1);
        const int64_t length = file.at(pos + 2) << 8 | file.at(pos + 3);
        if (marker == 0xDA || length < 2)
            return false;
        const char exif[] = "Exif";
        bool isExif = marker == 0xE1 && length > 16;
        for (int i = 0; isExif && i < 4; ++i)
            isExif = file.at(pos + 4 + i) == uint8_t(exif[i]);
        if (isExif) {
            *tiff = pos + 10;
            *end = pos + 2 + length;
            return true;
        }
        pos += 2 + length;
    }
    return false;
}

SExposure readExposure(const QByteArray& path) {
    SExposure out;
    SFileBuffer file;
    int64_t tiff = 0, end = 0;
    if (!file.open(path.constData()) || !findExifBlock(file, &tiff, &end))
        return out;
    CBlock block{file, file.at(tiff) == 'I', tiff, end};
    SDirectoryEntry sub;
    const int64_t ifd0 = tiff + block.u32(tiff + 4);
    if (!block.entry(ifd0, 0x8769, &sub) || sub.mType != 4)
        return out;
    const int64_t dir = tiff + block.u32(sub.mValue);
    const QLocale locale = QLocale::system();
    const double time = block.number(dir, 0x829A);
    if (time > 0 && time < 1)
        out.mTime = QString("1/%1 s").arg(std::lround(1.0 / time));
    else if (time >= 1)
        out.mTime = QString("%1 s").arg(locale.toString(time, 'g', 3));
    const double f = block.number(dir, 0x829D);
    if (f > 0)
        out.mFNumber = QString("f/%1").arg(locale.toString(f, 'g', 3));
    const double focal = block.number(dir, 0x920A);
    if (focal > 0)
        out.mFocal = QString("%1 mm").arg(locale.toString(focal, 'g', 4));
    const double iso = block.number(dir, 0x8827);
    if (iso > 0)
        out.mIso = QString("ISO %1").arg(std::lround(iso));
    out.mLens = block.text(dir, 0xA434);
    return out;
}

// The words of the tool bar's orientation buttons: where the picture's top and left lie.
QString orientationText(int orientation) {
    static const char* const names[9] = {
        "",         "top left",  "top right",    "bottom right", "bottom left",
        "left top", "right top", "right bottom", "left bottom"};
    if (orientation < 1 || orientation > 8)
        return CImgWindow::tr("none");
    return CImgWindow::tr("%1 (%2)").arg(CImgWindow::tr(names[orientation])).arg(orientation);
}

}  // namespace

void CImgWindow::fillExifTable(const SExifInfo& info) {
    const bool sorting = mExifTable->isSortingEnabled();
    mExifTable->setSortingEnabled(false);
    // Names, not tag numbers; the thumbnail's offset in the file means nothing to anyone.
    mExifTable->hideColumn(0);
    mExifTable->topLevelItem(2)->setHidden(true);
    mExifTable->topLevelItem(0)->setText(2, QString::fromStdString(info.mDateTime));
    mExifTable->topLevelItem(1)->setText(2, orientationText(info.mOrientation));
    // After the parallax and depth rows, which pictureShown fills.
    while (mExifTable->topLevelItemCount() < 5)
        new QTreeWidgetItem(mExifTable);
    const SExposure exposure = readExposure(mCurrentBytes);
    const std::pair<const char*, QString> rows[] = {
        {"Exposure time", exposure.mTime},
        {"F-number", exposure.mFNumber},
        {"Focal length", exposure.mFocal},
        {"ISO speed", exposure.mIso},
        {"Lens", exposure.mLens},
        {"Camera", info.mMake == "unknown"
                       ? QString()
                       : QString::fromStdString(info.mMake + " " + info.mModel)}};
    int row = 5;
    for (const auto& [name, value] : rows) {
        QTreeWidgetItem* item = row < mExifTable->topLevelItemCount()
                                    ? mExifTable->topLevelItem(row)
                                    : new QTreeWidgetItem(mExifTable);
        item->setText(1, tr(name));
        item->setText(2, value);
        ++row;
    }
    mExifTable->setSortingEnabled(sorting);
}
