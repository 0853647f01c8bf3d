#include "kvroominfo.h"

#include "kvimui.h"
#include "kvqtcompat.h"

#include <cmath>

IRoomInfo *createRoomInfo()
{
    return new KvRoomInfo;
}

KvRoomInfo::KvRoomInfo() : QObject(nullptr) {}

KvRoomInfo::~KvRoomInfo() = default;

QObject *KvRoomInfo::roomObject()
{
    return this;
}

void KvRoomInfo::loadHistory(QJsonArray history)
{
    emit sigLoadHistory(history);
}

void KvRoomInfo::resetRoom()
{
    emit sigClearHistory();
    emit sigRestore();
}

QWidget *KvRoomInfo::createRoomWidget(QWidget *parent)
{
    auto *panel = new KVIMUI(this, parent);
    connect(panel, &KVIMUI::sigShutup, this, &KvRoomInfo::sigShutupClick);
    connect(this, &KvRoomInfo::sigRestore, panel, &KVIMUI::sigShutupRestore);
    return panel;
}

void KvRoomInfo::setUserId(const QString &userId)
{
    m_userId = userId;
}

void KvRoomInfo::setCurMessage(const QJsonObject &message)
{
    m_curMessage = message;
    emit CurMessageChanged(message);
}

void KvRoomInfo::setUserName(const QString &userName)
{
    m_userName = userName;
}

double KvRoomInfo::scale() const
{
    return kvqt::logicalScale(m_scale, nullptr);
}

void KvRoomInfo::setScale(double scale)
{
    if (!std::isfinite(scale) || scale <= 0)
        return;
    m_scale = scale;
}

void KvRoomInfo::sendMessage(const QJsonObject &message)
{
    setCurMessage(message);
    emit sigSendMsg(message);
}
