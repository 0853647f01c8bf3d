#ifndef CHATTESTUTIL_H
#define CHATTESTUTIL_H

#include "kvqtcompat.h"
#include "kvroominfo.h"

#include <QColor>
#include <QJsonObject>
#include <QString>
#include <QTextBlock>
#include <QTextDocument>
#include <QVector>

#include <memory>

struct RoomDeleter
{
    void operator()(KvRoomInfo *room) const { delete room; }
};
using RoomPtr = std::unique_ptr<KvRoomInfo, RoomDeleter>;

inline RoomPtr makeRoom(const QString &userId, double scale = 1.0)
{
    auto *room = static_cast<KvRoomInfo *>(createRoomInfo()->roomObject());
    room->setUserId(userId);
    room->setUserName(QStringLiteral("name-") + userId);
    room->setScale(scale);
    return RoomPtr(room);
}

inline QJsonObject record(const QString &userId, const QString &data,
                          const QString &dateTime = QStringLiteral("2020-02-06 10:45:07"))
{
    return QJsonObject{{QStringLiteral("userId"), userId},
                       {QStringLiteral("userName"), QStringLiteral("someone")},
                       {QStringLiteral("data"), data},
                       {QStringLiteral("dateTime"), dateTime}};
}

// What one paragraph of the message view looks like.
struct Paragraph
{
    QString text;
    QString family;
    int pixelSize = 0;
    QColor color;
    int fragments = 0;
    bool richObject = false; // image or anchor anywhere in the paragraph
};

inline QVector<Paragraph> paragraphs(const QTextDocument *doc)
{
    QVector<Paragraph> out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        Paragraph p;
        p.text = b.text();
        QTextCharFormat fmt = b.charFormat();
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (p.fragments++ == 0)
                fmt = f;
            if (f.isImageFormat() || f.isAnchor() || !f.anchorHref().isEmpty())
                p.richObject = true;
        }
        p.family = kvqt::fontFamily(fmt);
        p.pixelSize = fmt.font().pixelSize();
        p.color = fmt.foreground().color();
        out.append(p);
    }
    return out;
}

#endif
