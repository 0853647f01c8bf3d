#include "emptytooltip.h"

#include "kvchatstyle.h"
#include "kvqtcompat.h"
#include "kvroominfo.h"

#include <QDebug>
#include <QFont>

EmptyToolTip::EmptyToolTip(KvRoomInfo *room, QWidget *parent) : QLabel(parent), m_room(room)
{
    setObjectName(QStringLiteral("enptyToolTip"));
    setText(QObject::tr("ID_NOT_ENPTY"));
    // Font and height stay the same physical size at every scale; only the frame grows.
    const double logical = kvqt::logicalScale(1.0, parent);
    QFont font(QStringLiteral("黑体"));
    font.setPixelSize(qMax(1, qRound(13 * logical)));
    setFont(font);
    setFixedHeight(qMax(1, qRound(15 * logical)));
    adjustSize();

    const double scale = m_room->scale();
    const QString sheet =
        QStringLiteral("QLabel#enptyToolTip{text-align:center;background-color:#fdfdfd;color:"
                       "black;border:%1px solit #2828FF;border-radius:%2px;}")
            .arg(kvStyleNumber(2 * scale), kvStyleNumber(4 * scale));
    qDebug() << sheet;
    setStyleSheet(sheet);
}
