#include "helpTexts.h"

#include "pngio.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QtGlobal>

#include <algorithm>
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

struct SHelpSection {
    const char* anchor;  // the contents list links to it
    const char* title;
    const char* text;  // rich text, UTF-8
};

// In the order Help shows them; a new section is one more entry here.
const SHelpSection kHelpSections[] = {
    {"start", "Getting started",
     "<p>Pick a picture in the File list and press Shift+S (the "
     "Stereo button): with red/cyan glasses on, a stereo .mpo file shows in depth. Started "
     "without a folder, the program shows its bundled samples, a stereo one first.</p>"},
    {"viewing", "Viewing",
     "<p>Page Down and Page Up (or the wheel over the picture) move "
     "through the list. x fits the picture to the window, z shows one picture pixel per "
     "screen pixel. A click switches the zoom lens on; with it the wheel zooms (up to 64 "
     "times) and dragging moves the picture. F shows the picture full screen; Escape "
     "leaves full screen, and outside it quits. While a picture decodes, its thumbnail "
     "stands in for it. A picture that cannot be read shows its name and the reason, "
     "and a cut one shows as far as it goes.</p>"},
    {"keys", "Keys",
     "<p>They work whether the picture or the list has the focus.</p><table>"
     "<tr><td>Space, Page Down</td><td>next picture</td></tr>"
     "<tr><td>BackSpace, Page Up</td><td>previous picture</td></tr>"
     "<tr><td>Home, End</td><td>first, last picture</td></tr>"
     "<tr><td>+, -</td><td>zoom in, out (about the pointer over the picture, else the "
     "centre)</td></tr>"
     "<tr><td>Ctrl+0, x</td><td>fit in the window</td></tr>"
     "<tr><td>Ctrl+1, z</td><td>one picture pixel per screen pixel</td></tr>"
     "<tr><td>F11, F</td><td>full screen; Escape leaves it</td></tr>"
     "<tr><td>F5</td><td>slide show (interval in View &gt; Slide Show); any key or click "
     "stops it</td></tr>"
     "<tr><td>Left, Right</td><td>shift the two views (with Shift by ten pixels); "
     "Stereo &gt; Reset Shift takes the shift away</td></tr>"
     "<tr><td>Shift+S</td><td>stereo on and off</td></tr>"
     "<tr><td>Ctrl+R, Ctrl+Shift+R</td><td>turn the photo right, left</td></tr>"
     "<tr><td>Delete</td><td>move the photo to the trash; Ctrl+Z puts it back</td></tr>"
     "<tr><td>Ctrl+O</td><td>open a picture, a folder or a list</td></tr>"
     "<tr><td>Ctrl+S, Ctrl+Shift+S</td><td>save the list, save it as</td></tr>"
     "<tr><td>Ctrl+E</td><td>export the anaglyph</td></tr>"
     "<tr><td>Shift+C</td><td>calibrate (t and g step the patch by ten levels)</td></tr>"
     "<tr><td>F1</td><td>this help</td></tr></table>"},
    {"stereo", "Stereo and colours",
     "<p>Shift+S switches the anaglyph on and off. "
     "RemoveHalos (Shift+H) switches between the ghost-free rendering and a plain "
     "anaglyph. FullColor, HalfColor and Gray choose the anaglyph's colours; Restricted "
     "Range keeps them inside what both filters can separate. Stereo &gt; Auto Align (on "
     "by default) brings the right picture onto the left one, so that the eyes need not "
     "look up or down, puts the nearest object at the screen (nothing cut by the left or "
     "right edge stands in front of it) and shows only what both eyes see. The status bar "
     "says what was done, and with the Exif panel gives the depth: the near and the far "
     "point in percent of the width (positive behind the screen) and their total, with a "
     "warning when the total passes a thirtieth of the width or the near point stands "
     "more than 1 % of the width in front of the screen. Where a picture gives too little to "
     "match, the camera's own "
     "parallax sets the shift (the Exif panel shows it). The left and right arrow keys "
     "shift the two views towards each other by half a picture pixel, with Shift by "
     "ten.</p>"},
    {"calibration", "Calibration",
     "<p>The built-in calibration was made on one monitor with "
     "red/cyan paper glasses. To make your own:</p>"
     "<ol type=\"1\">"
     "<li>Maximise the window and press the Calibrate button (Shift+C). The view says "
     "which eye and patch you are on and what each key does.</li>"
     "<li>Put on the glasses and shut your right eye. Make the face on the marked patch "
     "brighter (w) or darker (s) until it disappears; d goes to the next patch, a to the "
     "previous one.</li>"
     "<li>Shut your left eye, press e and match that eye's patches the same way.</li>"
     "<li>Press Shift+A to compute the result. The view shows the fitted filters and "
     "gamma, or why the fit was refused: a fit whose red filter lets through more than "
     "half as much green and blue as red (or whose cyan filter more than half as much "
     "red as green and blue) does not separate the eyes, is not used and is not saved; "
     "match the patches again then.</li>"
     "<li>Press [ to save your matches in your configuration folder "
     "(~/.config/Ruvello/Ruvello/ui-calib.txt), so that the program starts with your "
     "calibration from now on; a ui-calib.txt in the folder you start the program from "
     "is read first and is updated too. ] loads the saved matches again (Shift+A fits "
     "them).</li>"
     "<li>Press Calibrate again to leave. Matches not saved yet make the program ask "
     "first.</li>"
     "</ol>"
     "<p>Stereo &gt; Reset Calibration goes back to the built-in calibration at once and "
     "asks whether to remove your saved calibration too (No keeps it for the next "
     "start). Sit where you sat while calibrating: on many LCD monitors, TN panels above "
     "all, the colours change with the viewing angle.</p>"},
    {"dates", "Dates",
     "<p>The Date, Camera and Orientation columns fill in from the photos' "
     "Exif data after a folder is listed; the list follows the folder as files come and "
     "go. Select rows and take their dates from the Exif data, the file time or the file "
     "name (IMG_20190704_153000, PXL_…, 2019-07-04 15.30.00 and the like) with the three "
     "date buttons. The Time Adjust panel (View &gt; Time Adjust) adds a difference to "
     "the selected dates (Add) or sets them (Set).</p>"},
    {"lists", "Lists",
     "<p>File &gt; Save writes the list with its dates as a CSV file, File "
     "&gt; Save As (Ctrl+Shift+S) writes it under another name, for instance when its "
     "disk is full or its folder read-only. File &gt; Open reads one back, File &gt; "
     "Clear goes back to the folder's own pictures. Before unsaved changes would be "
     "lost, the program asks; before Save replaces a list that another program changed, "
     "too. A file dropped on the list is copied into its folder.</p>"},
    {"recovery", "Recovery",
     "<p>When the program has to end without your answer (SIGTERM, as "
     "at a system shutdown), it keeps the unsaved list in recovery.csv in its data "
     "folder (~/.local/share/Ruvello/Ruvello), and the next start offers to open it; "
     "save it then where you want it.</p>"},
    {"orientation", "Orientation",
     "<p>Rotate Right (Ctrl+R) and Rotate Left (Ctrl+Shift+R) turn "
     "the selected JPEG and MPO files a quarter turn from the way each shows, by writing "
     "its Exif orientation; the Edit menu also sets a fixed one: upright as stored, top "
     "of the picture on the right, top of the picture on the left. A quarter turn of a stereo file "
     "asks first, because its views would "
     "then lie above each other.</p>"},
    {"export", "Export",
     "<p>File &gt; Export Anaglyph (Ctrl+E) saves the anaglyph as it shows, "
     "aligned and cropped, at the picture's full resolution, as JPEG or PNG, in the "
     "background: the status bar shows its progress and a Cancel button. The command "
     "ruvello-anaglyph converts many files at once (--align aligns them, --layout "
     "parallel|cross|mpo writes side-by-side pictures or aligned MPO files); "
     "ruvello-anaglyph --help lists its options.</p>"},
    {"needs", "Needs",
     "<p>OpenGL 2.0 with framebuffer objects and shaders; some old "
     "integrated graphics chips draw it wrongly or not at all.</p>"},
};
}  // namespace

QString helpBoxText(const QString& appName) {
    QString text = QString("<h2>%1 Help</h2>").arg(appName);
    // Contents first: the text is long, and a link jumps to its section.
    text += "<p><b>Contents</b></p><ul>";
    for (const SHelpSection& section : kHelpSections)
        text += QString("<li><a href=\"#%1\">%2</a></li>")
                    .arg(QLatin1String(section.anchor), QString::fromUtf8(section.title));
    text += "</ul>";
    for (const SHelpSection& section : kHelpSections)
        text += QString("<h3><a name=\"%1\"></a>%2</h3>")
                    .arg(QLatin1String(section.anchor), QString::fromUtf8(section.title)) +
                QString::fromUtf8(section.text);
    return text;
}

QDialog* makeHelpWindow(QWidget* parent, const QString& appName) {
    auto* window = new QDialog(parent);
    window->setObjectName("helpWindow");
    window->setWindowTitle(QString("%1 Help").arg(appName));
    auto* browser = new QTextBrowser(window);
    browser->setObjectName("helpText");
    browser->setHtml(helpBoxText(appName));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, window);
    QObject::connect(buttons, &QDialogButtonBox::accepted, window, &QDialog::accept);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(browser);
    layout->addWidget(buttons);
    // The keys (Page Down, End) scroll the text, not the button.
    browser->setFocus();

    // A comfortable reading width, and never more than 80 % of the screen's free area
    // in either direction: the text scrolls instead, on small and on scaled screens too.
    const QScreen* screen = parent ? parent->screen() : window->screen();
    const QRect free = screen->availableGeometry();
    const int width =
        std::min(browser->fontMetrics().averageCharWidth() * 90, free.width() * 4 / 5);
    window->resize(width, free.height() * 4 / 5);
    window->setMaximumSize(free.size() * 4 / 5);
    window->move(free.center() - window->rect().center());
    return window;
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
