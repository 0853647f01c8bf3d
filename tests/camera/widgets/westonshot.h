#ifndef WESTONSHOT_H
#define WESTONSHOT_H

#include "testframes.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>

// The compositor's picture of its output: weston-screenshooter (Weston
// started with --debug) writes it into its working directory.
inline QImage compositorScreenshot()
{
    QTemporaryDir dir;
    QProcess shooter;
    shooter.setWorkingDirectory(dir.path());
    shooter.start(QStringLiteral("weston-screenshooter"), QStringList());
    if (!shooter.waitForFinished(20000) || shooter.exitCode() != 0)
        return QImage();
    const QStringList files = QDir(dir.path()).entryList({"*.png"}, QDir::Files);
    return files.isEmpty() ? QImage() : QImage(dir.filePath(files.first()));
}

// Where the quadrant picture lies on the output: the box of its red, green and
// blue and the overlay's brackets (the compositor's background is dark grey).
// White is left out: the compositor's pointer is black and white, and the
// other colours reach all four edges of the picture.
inline QRect cameraBox(const QImage &img)
{
    QRect box;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        int first = -1, last = -1;
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p =
                img.format() == QImage::Format_RGB32 || img.format() == QImage::Format_ARGB32
                    ? line[x]
                    : img.pixel(x, y);
            bool camera = looksLike(p, 0xFFF8403D);
            for (int q = 0; q < 3; ++q)
                camera = camera || looksLike(p, kQuadrantRgb[q]);
            if (camera) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        if (first >= 0)
            box |= QRect(first, y, last - first + 1, 1);
    }
    return box;
}

#endif
