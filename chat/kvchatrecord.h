#ifndef KVCHATRECORD_H
#define KVCHATRECORD_H

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// How the message view reads a message record. Hosts and other clients send
// ids and times as JSON strings, but some send numbers; those are shown as
// their decimal text. Any other value (boolean, null, array, object) or a
// missing member reads as empty.
class KvChatRecord
{
public:
    explicit KvChatRecord(const QJsonObject &record);

    // The sender id as shown; empty when the record carries none.
    QString senderId() const { return m_senderId; }
    // A record is the local user's own only when it names a sender and that
    // sender is the local user: a record without a sender id never is.
    bool isOwn(const QString &localId) const;
    QString dateTime() const { return m_dateTime; }
    QString data() const { return m_data; }

    // A member's value as text: a string as it is, a number as decimal text
    // (integers without exponent or fraction), anything else empty.
    static QString text(const QJsonValue &value);

private:
    QString m_senderId;
    QString m_dateTime;
    QString m_data;
};

#endif
