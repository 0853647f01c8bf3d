#ifndef CHATDEMO_H
#define CHATDEMO_H

#include <QJsonObject>
#include <QObject>

class IRoomInfo;
class QWidget;

// One chat room with a local user and a simulated remote participant that
// answers what the local user sends.
class ChatDemo : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *localUserId = "1001";
    static constexpr const char *remoteUserId = "2002";

    ChatDemo(double scale, QObject *parent = nullptr);
    ~ChatDemo() override;

    bool isValid() const { return m_room != nullptr; }
    // A new chat panel of the room; owned by parent.
    QWidget *createPanel(QWidget *parent);
    void loadSampleHistory();
    void reset();
    bool canSend() const { return m_canSend; }

    // What the remote participant answers to a text.
    static QString replyTo(const QString &text);
    static QJsonObject record(const QString &userId, const QString &userName, const QString &text,
                              const QString &dateTime);

signals:
    void muteChanged(bool canSend);
    void messageSent(const QJsonObject &message);

private slots:
    void onSendMsg(const QJsonObject &message);
    void onShutupClick(bool canSend);
    void onRestore();

private:
    IRoomInfo *m_room = nullptr;
    QObject *m_roomObject = nullptr;
    bool m_canSend = true;
};

#endif
