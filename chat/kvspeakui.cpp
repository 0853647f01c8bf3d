#include "kvspeakui.h"

#include "emptytooltip.h"
#include "kvchatstyle.h"
#include "kvroominfo.h"
#include "speakedit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

KvSpeakUi::KvSpeakUi(KvRoomInfo *room, QWidget *parent) : QWidget(parent), m_room(room)
{
    const double scale = m_room->scale();
    setObjectName(QStringLiteral("kvspeakui"));
    setFixedSize(kvScaled(320, scale), kvScaled(114, scale));

    auto *column = new QVBoxLayout(this);
    auto *row = new QHBoxLayout;

    m_sendBtn = new QPushButton(this);

    m_edit = new speakEdit(scale, this);
    connect(m_edit, &speakEdit::sigSend, this, &KvSpeakUi::slotSendMessage);
    connect(m_edit, &speakEdit::sigEmpty, this, &KvSpeakUi::slotEmptyMsg);
    m_edit->setObjectName(QStringLiteral("kvspeakui-edit"));
    // Three pixels wider than the input.
    m_edit->setFixedSize(kvScaled(323, scale), kvScaled(78, scale));
    m_edit->setPlaceholderText(QObject::tr("ID_INPUT_WORD"));

    connect(m_sendBtn, &QPushButton::clicked, this, &KvSpeakUi::slotSendMessage);
    m_sendBtn->setObjectName(QStringLiteral("kvspeakui-sendbtn"));
    m_sendBtn->setFixedSize(kvScaled(55, scale), kvScaled(26, scale));
    m_sendBtn->setText(QObject::tr("ID_SEND_MESSAGE"));

    row->setContentsMargins(kvScaled(253, scale), 0, kvScaled(15, scale), kvScaled(10, scale));
    row->addWidget(m_sendBtn);

    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_edit);
    column->addLayout(row);

    setStyleSheet(QStringLiteral("QWidget#kvspeakui{background:transparent;}"));
    m_sendBtn->setStyleSheet(
        QStringLiteral("QPushButton#kvspeakui-sendbtn{background-color:#3C96FF;border:none;"
                       "border-radius:%1px;color:#ffffff;font-size:%2px;}")
            .arg(kvStyleNumber(2 * scale), kvStyleNumber(12 * scale)));
    const QString editSheet =
        QStringLiteral("QTextEdit#kvspeakui-edit{background:transparent;font-size:%1px;border-top-"
                       "width:%2px;border-top-style:solid;border-top-color:#E5E5E5;}")
            .arg(kvStyleNumber(12 * scale), kvStyleNumber(scale));
    qDebug() << editSheet;
    m_edit->setStyleSheet(editSheet);

    m_emptyTip = new EmptyToolTip(m_room, this);
    m_emptyTip->hide();
}

void KvSpeakUi::slotSendMessage()
{
    const QString text = m_edit->toPlainText();
    if (text.length() == 0) {
        slotEmptyMsg();
        return;
    }

    QJsonObject record;
    record.insert(QStringLiteral("userId"), m_room->userId());
    record.insert(QStringLiteral("userName"), m_room->userName());
    record.insert(QStringLiteral("data"), text);
    record.insert(QStringLiteral("dateTime"),
                  QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));

    // The host hears sigSendMsg inside this call and may delete the panel.
    QPointer<speakEdit> edit(m_edit);
    m_room->sendMessage(record);
    if (edit)
        edit->clear();
}

void KvSpeakUi::slotEmptyMsg()
{
    const QRect btn = m_sendBtn->geometry();
    const int right = btn.left() + btn.width() - 1;
    const int x = right - m_emptyTip->width();
    const int y = kvScaledInt(double(btn.top() - m_emptyTip->height()) - 2 * m_room->scale());
    m_emptyTip->move(x, y);
    m_emptyTip->show();

    // Pending events (input included) run here; one of them may delete the
    // panel, and the tip with it.
    QPointer<EmptyToolTip> tip(m_emptyTip);
    QCoreApplication::processEvents();
    if (!tip)
        return;
    QTimer::singleShot(1000, tip, [tip]() { tip->hide(); });
}
