#ifndef IROOMINFO_H
#define IROOMINFO_H

#include <QJsonArray>

// The library builds with hidden symbols; this marks what a host links to.
#ifndef KVIMUI_EXPORT
#define KVIMUI_EXPORT __attribute__((visibility("default")))
#endif

class QObject;
class QWidget;

// A chat room as the host sees it. Exactly these four operations, in this
// order, and no virtual destructor: the room is deleted through roomObject().
class IRoomInfo
{
public:
    virtual QObject *roomObject() = 0;
    virtual void loadHistory(QJsonArray history) = 0;
    virtual void resetRoom() = 0;
    virtual QWidget *createRoomWidget(QWidget *parent) = 0;

protected:
    ~IRoomInfo() = default;
};

// A new room without parent; the caller owns it.
KVIMUI_EXPORT IRoomInfo *createRoomInfo();

#endif
