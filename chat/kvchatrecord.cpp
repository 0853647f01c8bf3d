#include "kvchatrecord.h"

#include <QLocale>

#include <cmath>

KvChatRecord::KvChatRecord(const QJsonObject &record)
    : m_senderId(text(record.value(QStringLiteral("userId")))),
      m_dateTime(text(record.value(QStringLiteral("dateTime")))),
      m_data(text(record.value(QStringLiteral("data"))))
{
}

bool KvChatRecord::isOwn(const QString &localId) const
{
    return !m_senderId.isEmpty() && m_senderId == localId;
}

QString KvChatRecord::text(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (!value.isDouble())
        return QString();
    const double d = value.toDouble();
    // Integers a double holds exactly print as digits: ids like 1001 or
    // 20200206104507 must not turn into 1.0e+03 or 2.02002e+13.
    constexpr double kExactInteger = 9007199254740992.0; // 2^53
    if (std::isfinite(d) && std::trunc(d) == d && std::fabs(d) <= kExactInteger)
        return QString::number(static_cast<qint64>(d));
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}
