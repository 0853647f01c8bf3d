#ifndef KVROOMUI_H
#define KVROOMUI_H

#include <QJsonArray>
#include <QJsonObject>
#include <QTextBrowser>
#include <QVector>

#include <deque>

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
    struct Shown;
    Shown prepare(const QJsonObject &msg) const;
    void appendMessages(const QVector<Shown> &messages);
    void appendMessage(const Shown &message);
    void appendPlainParagraph(const QString &text, bool cut);
    double lineWidth();
    void keepWithinLimits();

    KvRoomInfo *m_room = nullptr;
    // Blocks of each shown message, oldest first: what leaves the view when
    // the oldest messages go.
    std::deque<int> m_messageBlocks;
    QPushButton *m_shutupBtn = nullptr;
    bool m_canSendMsg = true;
};

#endif
