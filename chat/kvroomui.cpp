#include "kvroomui.h"

#include "kvchatrecord.h"
#include "kvchatstyle.h"
#include "kvmessagelimits.h"
#include "kvroominfo.h"
#include "kvtextheight.h"

#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QDebug>
#include <QFont>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QFont messageFont(double basePixels, double scale)
{
    QFont font(QStringLiteral("黑体"));
    font.setPixelSize(kvScaled(basePixels, scale));
    return font;
}

// Shown after a paragraph that was cut, in its own grey fragment.
const QString kCutMark = QStringLiteral(" [\u2026]");
const QColor kCutMarkColor(0x80, 0x80, 0x80);

// The tallest a line of a message can be, in pixels: the larger message font
// (or the default font, where a tiny scale leaves no valid pixel size) times
// the line-height factor.
double lineHeightBound(double scale)
{
    return KvMessageLimits::kLineHeightPerPixel * qMax(16 * scale, 32.0);
}

// Characters shown of one paragraph at this scale: few enough that a header
// and a text, every character on a line of its own, stay within one change's
// height.
int maxParagraphChars(double scale)
{
    using namespace KvMessageLimits;
    const double fit = kPassHeight / (2 * lineHeightBound(scale)) - kCutMark.size() - 1;
    return int(qBound(1.0, fit, double(kMaxParagraphChars)));
}

// The first maxChars characters, never splitting a surrogate pair.
QString cutText(const QString &text, int maxChars, bool *cut)
{
    *cut = text.size() > maxChars;
    if (!*cut)
        return text;
    int keep = maxChars;
    if (keep > 0 && text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep);
}

} // namespace

// One message as the view shows it.
struct KvRoomUi::Shown
{
    QString header;
    QString data;
    bool own = false;
    bool headerCut = false;
    bool dataCut = false;
    double heightBound = 0; // pixels, before layout
};

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

    // A read-only view needs no undo history (QTextBrowser turns it off; keep
    // it off whatever the base class does later).
    setUndoRedoEnabled(false);
    // Words wrap at word boundaries, runs without one anywhere.
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
}

void KvRoomUi::slotShowMessage(const QJsonObject &msg)
{
    appendMessages({prepare(msg)});
}

void KvRoomUi::slotLoadHistory(const QJsonArray &his)
{
    using namespace KvMessageLimits;
    // Only the newest records can stay in the view. Which ones is decided
    // before anything is laid out: newest first, while they are within the
    // count and, by estimate, within the height the view comes back to.
    const int first = qMax(0, his.size() - kMaxMessages);
    const double width = lineWidth();
    const double scale = m_room->scale();
    KvTextHeight headerHeight(messageFont(13, scale));
    KvTextHeight dataHeight(messageFont(16, scale));
    QVector<Shown> kept;
    double height = 0;
    for (int i = his.size() - 1; i >= first; --i) {
        Shown message = prepare(his.at(i).toObject());
        height += headerHeight.height(message.header + (message.headerCut ? kCutMark : QString()),
                                      width) +
                  dataHeight.height(message.data + (message.dataCut ? kCutMark : QString()), width);
        if (!kept.isEmpty() && height > kDropToHeight)
            break;
        kept.append(std::move(message));
    }
    std::reverse(kept.begin(), kept.end());
    if (kept.size() < his.size())
        qDebug() << "kvroomui: history of" << his.size() << "records, the view shows the newest"
                 << kept.size();

    QScrollBar *bar = verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    // Records go in groups, each one edit block laid out once, no larger than
    // one layout pass may safely add.
    QVector<Shown> group;
    double groupHeight = 0;
    for (Shown &message : kept) {
        if (!group.isEmpty() && groupHeight + message.heightBound > kPassHeight) {
            appendMessages(group);
            group.clear();
            groupHeight = 0;
        }
        groupHeight += message.heightBound;
        group.append(std::move(message));
    }
    if (!group.isEmpty())
        appendMessages(group);
    if (atBottom)
        bar->setValue(bar->maximum());
}

void KvRoomUi::slotClearHistory()
{
    clear();
    m_messageBlocks.clear();
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

KvRoomUi::Shown KvRoomUi::prepare(const QJsonObject &msg) const
{
    const KvChatRecord record(msg);
    const QString localId = m_room->userId();
    const double scale = m_room->scale();
    const int maxChars = maxParagraphChars(scale);

    Shown shown;
    shown.own = record.isOwn(localId);
    shown.header = cutText(QStringLiteral("[") + (shown.own ? localId : record.senderId()) +
                               QStringLiteral("]") + record.dateTime(),
                           maxChars, &shown.headerCut);
    shown.data = cutText(record.data(), maxChars, &shown.dataCut);
    shown.heightBound = (shown.header.size() + shown.data.size() + 2 * (kCutMark.size() + 1)) *
                        lineHeightBound(scale);
    return shown;
}

void KvRoomUi::appendMessages(const QVector<Shown> &messages)
{
    QScrollBar *bar = verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    lineWidth(); // gives a view not shown yet its page width
    QTextDocument *doc = document();
    // One edit block: the document lays itself out once at the end instead
    // of once per paragraph; the content is the same.
    QTextCursor group(doc);
    group.beginEditBlock();
    for (const Shown &message : messages)
        appendMessage(message);
    group.endEditBlock();
    keepWithinLimits();
    if (atBottom)
        bar->setValue(bar->maximum());
}

void KvRoomUi::appendMessage(const Shown &message)
{
    QTextDocument *doc = document();
    const int blocksBefore = doc->isEmpty() ? 0 : doc->blockCount();

    setCurrentFont(messageFont(13, m_room->scale()));
    setTextColor(QColor(message.own ? QStringLiteral("#2828FF") : QStringLiteral("#B766AD")));
    appendPlainParagraph(message.header, message.headerCut);

    setCurrentFont(messageFont(16, m_room->scale()));
    setTextColor(QColor(Qt::black));
    appendPlainParagraph(message.data, message.dataCut);

    m_messageBlocks.push_back(doc->blockCount() - blocksBefore);
}

// The width a line of text has in the view. A view not shown yet has no page
// width and lays nothing out, yet the height limit needs a laid-out document:
// it gets the view's own width, close to what it will have.
double KvRoomUi::lineWidth()
{
    QTextDocument *doc = document();
    if (doc->pageSize().width() <= 0)
        doc->setPageSize(QSizeF(qMax(1, contentsRect().width()), -1));
    // Once the text is taller than the view, its scroll bar takes a strip.
    const double page = qMin(doc->pageSize().width(),
                             double(contentsRect().width() - kvScaled(10, m_room->scale())));
    return page - 2 * doc->documentMargin();
}

// Drops the oldest messages beyond the count the view keeps, and as many more
// as bring the document back under its height.
void KvRoomUi::keepWithinLimits()
{
    using namespace KvMessageLimits;
    const int count = int(m_messageBlocks.size());
    int drop = count > kMaxMessages ? count - (kMaxMessages - kDropMessages) : 0;
    int dropBlocks = 0;
    for (int i = 0; i < drop; ++i)
        dropBlocks += m_messageBlocks[size_t(i)];

    QTextDocument *doc = document();
    QAbstractTextDocumentLayout *layout = doc->documentLayout();
    const double height = layout->documentSize().height();
    if (height > kKeptHeight) {
        const int byCount = drop;
        const double excess = height - kDropToHeight;
        // The newest message always stays; it alone is never taller than
        // one change may add.
        while (drop < count - 1 &&
               layout->blockBoundingRect(doc->findBlockByNumber(dropBlocks)).top() < excess) {
            dropBlocks += m_messageBlocks[size_t(drop)];
            ++drop;
        }
        qDebug() << "kvroomui: document" << int(height) << "pixels high, over" << int(kKeptHeight)
                 << "; dropping" << drop - byCount << "more of the oldest messages";
    }
    if (drop == 0)
        return;

    // The text under a reader who scrolled up stays where it is: the view
    // moves up by what left above it.
    QScrollBar *bar = verticalScrollBar();
    const int value = bar->value();
    const QTextBlock firstKept = doc->findBlockByNumber(dropBlocks);
    const double removed =
        layout->blockBoundingRect(firstKept).top() - layout->blockBoundingRect(doc->begin()).top();

    QTextCursor oldest(doc);
    oldest.setPosition(firstKept.position(), QTextCursor::KeepAnchor);
    oldest.removeSelectedText();
    m_messageBlocks.erase(m_messageBlocks.begin(), m_messageBlocks.begin() + drop);
    bar->setValue(qMax(0, value - qRound(removed)));
}

// What QTextEdit::append does for plain text, for every text: ids and messages
// come from other users and must never be taken for HTML (images, links and
// resource loads from local files).
void KvRoomUi::appendPlainParagraph(const QString &text, bool cut)
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
    if (cut) {
        QTextCharFormat markFormat = charFormat;
        markFormat.setForeground(kCutMarkColor);
        tmp.insertText(kCutMark, markFormat);
    }
    // Inserting may move the view's own cursor and drop its format; keep it.
    if (!current.hasSelection())
        setCurrentCharFormat(charFormat);
    tmp.endEditBlock();

    if (atBottom)
        bar->setValue(bar->maximum());
}
