#ifndef COLOURCHECK_H
#define COLOURCHECK_H

// Colours read off a screen, compared with a tolerance per channel.

#include <QColor>
#include <QString>

#include <cstdlib>

inline bool within(QRgb actual, QRgb expected, int tolerance)
{
    return std::abs(qRed(actual) - qRed(expected)) <= tolerance &&
           std::abs(qGreen(actual) - qGreen(expected)) <= tolerance &&
           std::abs(qBlue(actual) - qBlue(expected)) <= tolerance;
}

inline QString describe(QRgb c)
{
    return QString("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

#endif // COLOURCHECK_H
