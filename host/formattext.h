#ifndef FORMATTEXT_H
#define FORMATTEXT_H

#include <QJsonObject>
#include <QString>

// "MJPG 1280x720" for the camera library's format report, or empty when the
// report is empty. A code with unprintable characters is shown in hexadecimal.
QString formatText(const QJsonObject &report);

#endif
