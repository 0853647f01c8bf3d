#include "chatdemo.h"

#include "iroominfo.h"

#include <QDateTime>
#include <QJsonArray>
#include <QTimer>
#include <QWidget>

namespace {
const char *const kTimeFormat = "yyyy-MM-dd hh:mm:ss";
}

ChatDemo::ChatDemo(double scale, QObject *parent) : QObject(parent)
{
    m_room = createRoomInfo();
    if (!m_room)
        return;
    m_roomObject = m_room->roomObject();
    m_roomObject->setProperty("UserId", QString::fromLatin1(localUserId));
    m_roomObject->setProperty("UserName", QStringLiteral("You"));
    m_roomObject->setProperty("scale", scale);
    connect(m_roomObject, SIGNAL(sigSendMsg(QJsonObject)), this, SLOT(onSendMsg(QJsonObject)));
    connect(m_roomObject, SIGNAL(sigShutupClick(bool)), this, SLOT(onShutupClick(bool)));
    connect(m_roomObject, SIGNAL(sigRestore()), this, SLOT(onRestore()));
}

ChatDemo::~ChatDemo()
{
    // Panels must be gone before the room: the owner deletes them first.
    delete m_roomObject;
}

QWidget *ChatDemo::createPanel(QWidget *parent)
{
    return m_room ? m_room->createRoomWidget(parent) : nullptr;
}

QJsonObject ChatDemo::record(const QString &userId, const QString &userName, const QString &text,
                             const QString &dateTime)
{
    QJsonObject r;
    r["userId"] = userId;
    r["userName"] = userName;
    r["data"] = text;
    r["dateTime"] = dateTime;
    return r;
}

void ChatDemo::loadSampleHistory()
{
    if (!m_room)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    auto at = [&](int minutesAgo) { return now.addSecs(-60 * minutesAgo).toString(kTimeFormat); };
    QJsonArray history;
    history.append(record(remoteUserId, "Remote", "Welcome to the demo room.", at(12)));
    history.append(record(localUserId, "You", "Thanks! Can you see my camera?", at(11)));
    history.append(record(remoteUserId, "Remote", "Yes, the picture is clear.", at(10)));
    m_room->loadHistory(history);
}

void ChatDemo::reset()
{
    if (m_room)
        m_room->resetRoom();
}

QString ChatDemo::replyTo(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t.isEmpty())
        return QStringLiteral("(silence)");
    if (t.startsWith("hello") || t.startsWith("hi") || t.startsWith(QStringLiteral("你好")))
        return QStringLiteral("Hello! Nice to meet you.");
    if (t.endsWith('?'))
        return QStringLiteral("Good question. Let me think about \"%1\"").arg(text.trimmed());
    return QStringLiteral("You said: %1").arg(text);
}

void ChatDemo::onSendMsg(const QJsonObject &message)
{
    emit messageSent(message);
    if (!m_canSend)
        return; // a muted room gets no answer
    const QString text = message.value("data").toString();
    QTimer::singleShot(700, this, [this, text] {
        m_roomObject->setProperty("CurMessage",
                                  record(remoteUserId, "Remote", replyTo(text),
                                         QDateTime::currentDateTime().toString(kTimeFormat)));
    });
}

void ChatDemo::onShutupClick(bool canSend)
{
    m_canSend = canSend;
    emit muteChanged(canSend);
}

void ChatDemo::onRestore()
{
    m_canSend = true;
    emit muteChanged(true);
}
