#pragma once

#include <QFont>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
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

// Places a window that is about to be shown with its frame centred on the frame of `owner`,
// inside the free area of the owner's screen. Until a window is shown its frame is unknown:
// the owner's frame margins stand in for its own, as one window manager draws both. On X11 a
// window not yet created is placed by its frame's corner; Wayland compositors place windows
// themselves and leave the position alone.
inline void CentreOn(QWidget *window, const QWidget *owner)
{
    if (!owner || !owner->isVisible())
        return;
    const QRect ownerFrame = owner->frameGeometry();
    const QPoint clientOffset = owner->geometry().topLeft() - ownerFrame.topLeft();
    QRect frame(QPoint(), window->size() + (ownerFrame.size() - owner->size()));
    frame.moveCenter(ownerFrame.center());
    if (const QScreen *screen = owner->screen()) {
        const QRect free = screen->availableGeometry();
        frame.moveRight(qMin(frame.right(), free.right()));
        frame.moveBottom(qMin(frame.bottom(), free.bottom()));
        frame.moveLeft(qMax(frame.left(), free.left()));
        frame.moveTop(qMax(frame.top(), free.top()));
    }
    // A window already created takes the position of its client area.
    window->move(window->testAttribute(Qt::WA_WState_Created) ? frame.topLeft() + clientOffset
                                                              : frame.topLeft());
}

// Moves a top-level window so that its frame is centred on the free area of its screen. Until
// the window manager has framed the window its frame is taken as the window alone; once it is
// framed, a second call puts the frame itself in the centre. Wayland compositors place windows
// themselves.
inline void CentreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen || QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    window->move(window->pos() + screen->availableGeometry().center()
                 - window->frameGeometry().center());
}

// A tooltip's rich text that shows `text` as it is: markup as characters, line breaks kept.
inline QString PlainTooltip(const QString &text)
{
    return QStringLiteral("<p style='white-space:pre-wrap'>")
            + text.toHtmlEscaped().replace(u'\n', QStringLiteral("<br/>")) + QStringLiteral("</p>");
}
