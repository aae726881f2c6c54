#include "helpTexts.h"

#include "pngio.h"

#include <QtGlobal>

#include <cstdio>
#include <jpeglib.h>

namespace {
QString jpegLibraryLine() {
#ifdef LIBJPEG_TURBO_VERSION
#define RUV_STR2(x) #x
#define RUV_STR(x) RUV_STR2(x)
    return QString(
               "libjpeg-turbo version %1 (libjpeg interface %2), Copyright (C) 1991-2023 "
               "Thomas G. Lane, Guido Vollbeding, D. R. Commander and others<br/>")
        .arg(RUV_STR(LIBJPEG_TURBO_VERSION))
        .arg(JPEG_LIB_VERSION);
#else
    return QString("libjpeg (interface %1), Copyright (C) Thomas G. Lane, Guido Vollbeding<br/>")
        .arg(JPEG_LIB_VERSION);
#endif
}
}  // namespace

QString helpBoxText(const QString& appName) {
    QString text = QString("<b>%1 Help</b><br/>").arg(appName);
    text += QString::fromLocal8Bit(
        "<p>On many LCD monitors, TN panels above all, the gamma curve depends on the viewing "
        "angle; IPS panels change much less. Look at a grey gradient from above and from below "
        "to see how much your monitor changes. The calibration estimates one gamma value, so sit "
        "far enough from a monitor whose gamma changes, and keep your head where it was while "
        "you calibrated.</p>"
        "<ol type=\"1\">"
        "<li>After start-up: the built-in calibration was made on one IPS monitor with red-cyan "
        "paper glasses; on similar monitors and glasses it may already give good results. A "
        "calibration of your own is kept in ui-calib.txt.</li>"
        "<li>Calibration:<ol type=\"a\">"
        "<li>Maximise the window.</li>"
        "<li>Press the Calibrate button.</li>"
        "<li>Put on the anaglyph glasses.</li>"
        "<li>Cover or shut the right eye.</li>"
        "<li>Adjust the left picture with the keys w (brighter) and s (darker) until its colour "
        "looks uniform, that is until the face is visible on neither side.</li>"
        "<li>Adjust the other two pictures the same way: d moves to the next picture, a to the "
        "previous one.</li>"
        "<li>Cover the left eye and open the right one.</li>"
        "<li>Press e.</li>"
        "<li>Adjust the three pictures as before.</li>"
        "<li>Press Shift+a to compute the result.</li>"
        "<li>Press [ to save your matches in ui-calib.txt (and a copy in your configuration "
        "folder), so that the program starts with your calibration from now on; ] loads the "
        "saved matches again.</li>"
        "<li>Press the Calibrate button again to end the calibration. Matches that are not "
        "saved yet make the program ask first.</li>"
        "</ol></li>"
        "<li>Viewing stereo pictures:<ol type=\"a\">"
        "<li>Select a stereo picture (.mpo files are supported).</li>"
        "<li>Press the Stereo button.</li>"
        "<li>The RemoveHalos button switches between the halo-free rendering and a plain "
        "anaglyph.</li>"
        "<li>The FullColor, HalfColor and Gray buttons choose the colours of the anaglyph.</li>"
        "<li>The left and right arrow keys shift the left and the right picture towards each "
        "other.</li>"
        "</ol></li>"
        "<li>Additional information:<ol type=\"a\">"
        "<li>The rendering needs OpenGL 2.0 with framebuffer objects and shaders; some old "
        "integrated graphics chips draw it wrongly or not at all.</li>"
        "<li>Two pictures of a stereo pair can be joined into one .mpo file by stereo-photo "
        "tools, which most 3D cameras come with.</li>"
        "</ol></li>"
        "<li></li>"
        "</ol>");
    return text;
}

QString aboutBoxText(const QString& appName, const QString& version) {
    QString text = QString("<b>%1</b><br/><br/>Version %2<br/>Built ").arg(appName, version);
    text += QString::fromLocal8Bit(__DATE__ " " __TIME__);
    text +=
        "<br/><br/>A viewer for stereo photographs, with calibrated, ghost-free colour "
        "anaglyphs.<br/><br/>";
    text +=
        "<b>Technique:</b><br/>the view behind one filter is reduced to the luminance that "
        "filter passes, the other view keeps its colour, and both go through colour "
        "matrices computed from the measured filter transmissions and display gamma, so "
        "that each eye sees only its own view.<br/>";
    text += "<br/><b>This program uses:</b><br/>";
    text += QString::fromLocal8Bit(pngLibraryNotice()).toHtmlEscaped().replace('\n', "<br/>");
    text += "<br/><br/>";
    text += jpegLibraryLine();
    text += QString(
                "<br/>Qt version %1<br/>Copyright (C) The Qt Company Ltd and other "
                "contributors.<br/>")
                .arg(qVersion());
    text += "<br/>The calibration face is drawn by the program's own picture generator.";
    return text;
}
