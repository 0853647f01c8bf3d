#include "kvimui.h"

#include "kvchatstyle.h"
#include "kvroominfo.h"
#include "kvroomui.h"
#include "kvspeakui.h"

#include <QBrush>
#include <QColor>
#include <QPalette>
#include <QVBoxLayout>

KVIMUI::KVIMUI(KvRoomInfo *room, QWidget *parent) : QWidget(parent), m_room(room)
{
    setAutoFillBackground(true);
    setObjectName(QStringLiteral("kvimui"));
    const double scale = m_room->scale();
    // One pixel more than the view (412) and the input (114) together.
    setFixedSize(kvScaled(320, scale), kvScaled(527, scale));

    auto *layout = new QVBoxLayout(this);

    m_roomUi = new KvRoomUi(m_room, this);
    connect(m_roomUi, &KvRoomUi::signalShutupBtnClick, this, &KVIMUI::sigShutup);
    connect(this, &KVIMUI::sigShutupRestore, m_roomUi, &KvRoomUi::slotRestore);

    m_speakUi = new KvSpeakUi(m_room, this);

    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_roomUi);
    layout->addWidget(m_speakUi);

    QPalette pal = palette();
    pal.setBrush(QPalette::Window, QBrush(QColor(QStringLiteral("#FDFDFD"))));
    setPalette(pal);
}
