#pragma once
// The documentation's pictures are drawn the way a desktop without a theme draws the window,
// on any machine and without a display: offscreen unless told otherwise, at the usual 96 dots
// per inch and in Qt's own desktop font. The offscreen platform alone draws larger text
// (12-point type at 100 dots per inch), which clips the labels that fit on a real display.

#include <QApplication>
#include <QFont>

namespace desktoplook {

// Before the application is made: the platform and the resolution.
inline void prepare()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_FONT_DPI", "96");
}

// After: the font, and a text cursor that does not blink, so that two runs draw the same.
inline void apply()
{
    QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
    QApplication::setCursorFlashTime(0);
}

} // namespace desktoplook
