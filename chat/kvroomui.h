#ifndef KVROOMUI_H
#define KVROOMUI_H

#include <QJsonArray>
#include <QJsonObject>
#include <QTextBrowser>

class KvRoomInfo;
class QPushButton;

// The message view: a header and a text paragraph per message, with the
// room's mute button floating in the bottom-right corner.
class KvRoomUi : public QTextBrowser
{
    Q_OBJECT

public:
    KvRoomUi(KvRoomInfo *room, QWidget *parent);

signals:
    void signalShutupBtnClick(bool isShutuo);

public slots:
    void slotShowMessage(const QJsonObject &msg);
    void slotLoadHistory(const QJsonArray &his);
    void slotClearHistory();
    void slotOnbtnClick(bool click);
    void slotRestore();

private:
    void showRecord(const QJsonObject &msg);
    void appendPlainParagraph(const QString &text);

    KvRoomInfo *m_room = nullptr;
    QPushButton *m_shutupBtn = nullptr;
    bool m_canSendMsg = true;
};

#endif
