#ifndef KVIMUI_H
#define KVIMUI_H

#include <QWidget>

class KvRoomInfo;
class KvRoomUi;
class KvSpeakUi;

// The chat panel: message view above the message input, relaying the mute
// button between the view and the room.
class KVIMUI : public QWidget
{
    Q_OBJECT

public:
    KVIMUI(KvRoomInfo *room, QWidget *parent);

signals:
    void sigShutupRestore();
    void sigShutup(bool isCanSendMsg);

private:
    KvRoomUi *m_roomUi = nullptr;
    KvSpeakUi *m_speakUi = nullptr;
    KvRoomInfo *m_room = nullptr;
};

#endif
