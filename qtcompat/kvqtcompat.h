#ifndef KVQTCOMPAT_H
#define KVQTCOMPAT_H

// What differs between Qt 5 and Qt 6 for our sources, in one place; the rest
// of the tree is the same for both majors.

#include <QGuiApplication>
#include <QMetaType>
#include <QMouseEvent>
#include <QScreen>
#include <QTextCharFormat>
#include <QWidget>

namespace kvqt {

inline QPoint globalPos(const QMouseEvent *event)
{
#if QT_VERSION_MAJOR >= 6
    return event->globalPosition().toPoint();
#else
    return event->globalPos();
#endif
}

inline void registerNormalizedTypedef(const QByteArray &name, int typeId)
{
#if QT_VERSION_MAJOR >= 6
    QMetaType::registerNormalizedTypedef(name, QMetaType(typeId));
#else
    QMetaType::registerNormalizedTypedef(name, typeId);
#endif
}

inline QString fontFamily(const QTextCharFormat &format)
{
#if QT_VERSION_MAJOR >= 6
    return format.fontFamilies().toStringList().value(0);
#else
    return format.fontFamily();
#endif
}

// Qt's device pixel ratio where `widget` shows (the primary screen's for none):
// 1 under Qt 5 unless the user asks Qt to scale, the screen's DPI / 96 under Qt 6.
inline double devicePixelRatio(const QWidget *widget)
{
    if (widget)
        return widget->devicePixelRatioF();
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

// A host's "scalefactor" counts physical pixels per design pixel; Qt lays out
// in logical pixels, each devicePixelRatio physical ones. The same factor gives
// the same physical sizes under both majors.
inline double logicalScale(double scalefactor, const QWidget *widget)
{
    const double ratio = devicePixelRatio(widget);
    return ratio > 0 ? scalefactor / ratio : scalefactor;
}

} // namespace kvqt

#endif // KVQTCOMPAT_H
