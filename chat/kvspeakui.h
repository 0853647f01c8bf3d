#ifndef KVSPEAKUI_H
#define KVSPEAKUI_H

#include <QWidget>

class EmptyToolTip;
class KvRoomInfo;
class QPushButton;
class speakEdit;

// The message input: the edit, the send button under it and the empty tip.
class KvSpeakUi : public QWidget
{
    Q_OBJECT

public:
    KvSpeakUi(KvRoomInfo *room, QWidget *parent);

private slots:
    void slotSendMessage();
    void slotEmptyMsg();

private:
    KvRoomInfo *m_room = nullptr;
    speakEdit *m_edit = nullptr;
    QPushButton *m_sendBtn = nullptr;
    EmptyToolTip *m_emptyTip = nullptr;
};

#endif
