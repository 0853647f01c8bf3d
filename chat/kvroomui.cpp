#include "kvroomui.h"

#include "kvchatstyle.h"
#include "kvroominfo.h"

#include <QColor>
#include <QFont>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

QFont messageFont(double basePixels, double scale)
{
    QFont font(QStringLiteral("黑体"));
    font.setPixelSize(kvScaled(basePixels, scale));
    return font;
}

} // namespace

KvRoomUi::KvRoomUi(KvRoomInfo *room, QWidget *parent) : QTextBrowser(parent), m_room(room)
{
    setObjectName(QStringLiteral("kvroomui"));
    const double scale = m_room->scale();
    setFixedSize(kvScaled(320, scale), kvScaled(412, scale));

    m_shutupBtn = new QPushButton(this);
    m_shutupBtn->setFixedSize(kvScaled(55, scale), kvScaled(26, scale));
    m_shutupBtn->setObjectName(QStringLiteral("shurupBtn"));
    m_shutupBtn->setStyleSheet(
        QStringLiteral("QPushButton#shurupBtn{background-color:#3C96FF;border:none;border-radius:"
                       "%1px;color:#ffffff;font-size:%2px;}")
            .arg(kvStyleNumber(2 * scale), kvStyleNumber(12 * scale)));
    m_shutupBtn->setText(QObject::tr("ID_SHUTUP"));
    connect(m_shutupBtn, &QPushButton::clicked, this, &KvRoomUi::slotOnbtnClick);
    m_canSendMsg = true;

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, kvScaled(14, scale), 0);
    row->addStretch();
    row->addWidget(m_shutupBtn);

    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, kvScaled(4, scale));
    column->addStretch();
    column->addLayout(row);
    setLayout(column);

    connect(m_room, &KvRoomInfo::CurMessageChanged, this, &KvRoomUi::slotShowMessage);
    connect(m_room, &KvRoomInfo::sigLoadHistory, this, &KvRoomUi::slotLoadHistory);
    connect(m_room, &KvRoomInfo::sigClearHistory, this, &KvRoomUi::slotClearHistory);

    verticalScrollBar()->setStyleSheet(kvChatScrollBarStyle(scale));
    setStyleSheet(QStringLiteral("QTextEdit#kvroomui{background:transparent;border:none;}"));

    setContextMenuPolicy(Qt::NoContextMenu);
}

void KvRoomUi::slotShowMessage(const QJsonObject &msg)
{
    showRecord(msg);
}

void KvRoomUi::slotLoadHistory(const QJsonArray &his)
{
    // One edit block for the whole history: the document lays itself out once
    // at the end instead of once per paragraph; the content is the same.
    QScrollBar *bar = verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    QTextCursor group(document());
    group.beginEditBlock();
    for (const QJsonValue &record : his)
        showRecord(record.toObject());
    group.endEditBlock();
    if (atBottom)
        bar->setValue(bar->maximum());
}

void KvRoomUi::slotClearHistory()
{
    clear();
}

void KvRoomUi::slotOnbtnClick(bool click)
{
    Q_UNUSED(click);
    m_canSendMsg = !m_canSendMsg;
    m_shutupBtn->setText(m_canSendMsg ? QObject::tr("ID_SHUTUP") : QObject::tr("ID_CANCLE_SHUTUP"));
    emit signalShutupBtnClick(m_canSendMsg);
}

void KvRoomUi::slotRestore()
{
    m_canSendMsg = true;
    m_shutupBtn->setText(QObject::tr("ID_SHUTUP"));
}

void KvRoomUi::showRecord(const QJsonObject &msg)
{
    const QString localId = m_room->userId();
    const QString senderId = msg.value(QStringLiteral("userId")).toString();
    const bool own = senderId == localId;

    setCurrentFont(messageFont(13, m_room->scale()));
    setTextColor(QColor(own ? QStringLiteral("#2828FF") : QStringLiteral("#B766AD")));
    appendPlainParagraph(QStringLiteral("[") + (own ? localId : senderId) + QStringLiteral("]") +
                         msg.value(QStringLiteral("dateTime")).toString());

    setCurrentFont(messageFont(16, m_room->scale()));
    setTextColor(QColor(Qt::black));
    appendPlainParagraph(msg.value(QStringLiteral("data")).toString());
}

// What QTextEdit::append does for plain text, for every text: ids and messages
// come from other users and must never be taken for HTML (images, links and
// resource loads from local files).
void KvRoomUi::appendPlainParagraph(const QString &text)
{
    QScrollBar *bar = verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();

    const QTextCursor current = textCursor();
    const QTextCharFormat charFormat = current.charFormat();
    QTextDocument *doc = document();
    QTextCursor tmp(doc);
    tmp.beginEditBlock();
    tmp.movePosition(QTextCursor::End);
    if (!doc->isEmpty())
        tmp.insertBlock(current.blockFormat(), charFormat);
    else
        tmp.setCharFormat(charFormat);
    tmp.insertText(text);
    // Inserting may move the view's own cursor and drop its format; keep it.
    if (!current.hasSelection())
        setCurrentCharFormat(charFormat);
    tmp.endEditBlock();

    if (atBottom)
        bar->setValue(bar->maximum());
}
