#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>
#include <QtMath>

// Window layouts are given in twips, 1440 to the inch: 15 twips to a pixel at 96 dots per
// inch. Qt scales device-independent pixels on high-DPI screens.
inline constexpr int TwipsPerPixel = 15;

inline int twips(int value)
{
    return qRound(value / double(TwipsPerPixel));
}

inline QRect twips(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// A font of the layouts, which name "MS Sans Serif": Linux lacks it. Liberation Sans (Arial's
// metrics) is close to its width, so the texts fit where they were laid out; failing that,
// the desktop's sans serif.
inline QFont LayoutFont(qreal pointSize, bool bold = false)
{
    QFont font;
    font.setFamilies({ QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                       QStringLiteral("Arial") });
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

// Gives a window the frame its layout names: its name and caption, a fixed dialog border
// (window menu and close box, no minimize or maximize button) and the layout's font.
inline void SetUpWindow(QWidget *window, const char *name, const QString &caption,
                        Qt::WindowType kind)
{
    window->setObjectName(QLatin1String(name));
    window->setWindowTitle(caption);
    window->setWindowFlags(kind | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window->setFont(LayoutFont(8.25));
}
