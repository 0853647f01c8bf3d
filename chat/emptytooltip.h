#ifndef EMPTYTOOLTIP_H
#define EMPTYTOOLTIP_H

#include <QLabel>

class KvRoomInfo;

// The tip flashed above the send button when the user sends an empty text.
class EmptyToolTip : public QLabel
{
public:
    EmptyToolTip(KvRoomInfo *room, QWidget *parent);

private:
    KvRoomInfo *m_room = nullptr;
};

#endif
