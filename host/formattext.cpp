#include "formattext.h"

#include <QVariant>

QString formatText(const QJsonObject &report)
{
    if (report.isEmpty())
        return QString();
    // The four-character code keeps its first character in the low byte.
    const quint32 code = quint32(report.value(QLatin1String("format")).toVariant().toLongLong());
    QString name;
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            name = QStringLiteral("0x%1").arg(code, 8, 16, QLatin1Char('0'));
            break;
        }
        name += QLatin1Char(c);
    }
    return QStringLiteral("%1 %2x%3")
        .arg(name.trimmed())
        .arg(report.value(QLatin1String("width")).toInt())
        .arg(report.value(QLatin1String("height")).toInt());
}
