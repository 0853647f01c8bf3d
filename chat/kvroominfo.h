#ifndef KVROOMINFO_H
#define KVROOMINFO_H

#include "iroominfo.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

// One chat room: the host's entry point and the hub between the chat widgets
// and the host. The order of properties and signals is the host's contract.
class KvRoomInfo : public QObject, public IRoomInfo
{
    Q_OBJECT
    Q_PROPERTY(QString UserId READ userId WRITE setUserId NOTIFY UserIdChanged)
    Q_PROPERTY(QJsonObject CurMessage READ curMessage WRITE setCurMessage NOTIFY CurMessageChanged)
    Q_PROPERTY(QString UserName READ userName WRITE setUserName NOTIFY UserNameChanged)
    Q_PROPERTY(double scale READ hostScale WRITE setScale NOTIFY scaleChanged)

public:
    KvRoomInfo();
    ~KvRoomInfo() override;

    QObject *roomObject() override;
    void loadHistory(QJsonArray history) override;
    void resetRoom() override;
    QWidget *createRoomWidget(QWidget *parent) override;

    QString userId() const { return m_userId; }
    QJsonObject curMessage() const { return m_curMessage; }
    QString userName() const { return m_userName; }
    // The host's "scale" counts physical pixels per design pixel; the panels
    // lay out in Qt's logical pixels.
    double scale() const;
    double hostScale() const { return m_scale; }

    void setUserId(const QString &userId);
    void setCurMessage(const QJsonObject &message);
    void setUserName(const QString &userName);
    // Values that are not finite or not positive are refused: the scale keeps
    // its previous value.
    void setScale(double scale);

    // The local user sends: shown in the room first, then passed to the host.
    void sendMessage(const QJsonObject &message);

signals:
    void UserIdChanged(const QString &userId);
    void CurMessageChanged(const QJsonObject &message);
    void UserNameChanged(const QString &userName);
    void scaleChanged(int scale);
    void sigClearHistory();
    void sigLoadHistory(const QJsonArray &history);
    void sigShutupClick(bool isCanSendMsg);
    void sigRestore();
    void sigSendMsg(const QJsonObject &message);

private:
    QString m_userId;
    QString m_userName;
    QJsonObject m_curMessage;
    double m_scale = 1.0;
};

#endif
