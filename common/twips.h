#pragma once

#include <QRect>
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

inline int toTwips(int pixels)
{
    return pixels * TwipsPerPixel;
}
