#include "chattestutil.h"
#include "kvmessagelimits.h"
#include "kvroomui.h"

#include <QAbstractTextDocumentLayout>

#include <QJsonArray>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QtTest>

namespace {

const QColor kOwn(QStringLiteral("#2828FF"));
const QColor kOther(QStringLiteral("#B766AD"));

// A view that records every resource the document asks for.
class SpyRoomUi : public KvRoomUi
{
public:
    using KvRoomUi::KvRoomUi;
    QList<QUrl> requested;
    QVariant loadResource(int type, const QUrl &name) override
    {
        requested << name;
        return KvRoomUi::loadResource(type, name);
    }
};

// What the view did before plain-text mending, for texts Qt does not take for
// HTML: the document the view must still give for them.
void referenceAppend(QTextBrowser &b, const QString &localId, double scale, const QJsonObject &m)
{
    const QString sender = m.value("userId").toString();
    QFont head(QStringLiteral("黑体"));
    head.setPixelSize(int(13 * scale));
    b.setCurrentFont(head);
    b.setTextColor(sender == localId ? kOwn : kOther);
    b.append("[" + sender + "]" + m.value("dateTime").toString());
    QFont body(QStringLiteral("黑体"));
    body.setPixelSize(int(16 * scale));
    b.setCurrentFont(body);
    b.setTextColor(Qt::black);
    b.append(m.value("data").toString());
}

QJsonArray plainHistory(int n)
{
    QJsonArray his;
    for (int i = 0; i < n; ++i)
        his.append(record(QString::number(1000 + i % 3),
                          QStringLiteral("line %1\nsecond  line").arg(i),
                          QStringLiteral("2020-02-06 10:%1:07").arg(i % 60, 2, 10, QChar('0'))));
    his.append(QJsonObject{});
    his.append(QStringLiteral("not an object"));
    return his;
}

} // namespace

class TestRoomUi : public QObject
{
    Q_OBJECT

private slots:
    void ownAndOtherMessages();
    void fontsFollowLaterScale();
    void senderIdsOfEveryType();
    void historyKeepsNewestMessages();
    void liveMessagesKeepNewest();
    void readerKeepsPlaceWhenOldestLeave();
    void longHistoryLaidOutOnlyWhereKept();
    void tallDocumentStaysUnderLayoutLimit();
    void longParagraphsCutWithMark();
    void historyAppendsAndNonObjects();
    void clearEmptiesDocument();
    void messagesShownLiterally_data();
    void messagesShownLiterally();
    void sameDocumentAsAppend();
    void muteButtonStates();
    void sizesAndStyles_data();
    void sizesAndStyles();
};

void TestRoomUi::ownAndOtherMessages()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    KvRoomUi view(room.get(), nullptr);
    room->setCurMessage(record("1001", "hello"));
    room->setCurMessage(record("1001", "hello"));
    room->setCurMessage(record("2002", "hi there", "2020-02-06 11:00:00"));
    room->setCurMessage(record("1001 ", "case"));

    const QVector<Paragraph> p = paragraphs(view.document());
    QCOMPARE(p.size(), 8);
    QCOMPARE(p[0].text, QStringLiteral("[1001]2020-02-06 10:45:07"));
    QCOMPARE(p[0].color, kOwn);
    QCOMPARE(p[0].pixelSize, 13);
    QCOMPARE(p[0].family, QStringLiteral("黑体"));
    QCOMPARE(p[1].text, QStringLiteral("hello"));
    QCOMPARE(p[1].color, QColor(Qt::black));
    QCOMPARE(p[1].pixelSize, 16);
    QCOMPARE(p[2].text, p[0].text); // the same record twice shows twice
    QCOMPARE(p[4].text, QStringLiteral("[2002]2020-02-06 11:00:00"));
    QCOMPARE(p[4].color, kOther);
    QCOMPARE(p[5].text, QStringLiteral("hi there"));
    QCOMPARE(p[5].color, QColor(Qt::black));
    QCOMPARE(p[6].color, kOther); // ids compare exactly
}

void TestRoomUi::fontsFollowLaterScale()
{
    RoomPtr room = makeRoom(QStringLiteral("1"), 1.0);
    KvRoomUi view(room.get(), nullptr);
    room->setScale(1.5);
    room->setCurMessage(record("1", "x"));
    const QVector<Paragraph> p = paragraphs(view.document());
    QCOMPARE(p[0].pixelSize, 19); // 13 * 1.5 = 19.5
    QCOMPARE(p[1].pixelSize, 24);
    QCOMPARE(view.size(), QSize(320, 412)); // built at 1.0
}

void TestRoomUi::senderIdsOfEveryType()
{
    const QJsonObject noId{{"data", "d"}, {"dateTime", "2020-01-01 00:00:00"}};
    const QJsonValue others[] = {QJsonValue(),
                                 QJsonValue(true),
                                 QJsonValue(false),
                                 QJsonValue(QJsonArray{"1001"}),
                                 QJsonValue(QJsonObject{}),
                                 QJsonValue(QString())};
    for (const QString &local : {QString(), QStringLiteral("1001")}) {
        RoomPtr room = makeRoom(local);
        KvRoomUi view(room.get(), nullptr);
        room->setCurMessage(noId);
        for (const QJsonValue &id : others)
            room->setCurMessage(QJsonObject{{"userId", id}, {"data", "x"}});
        const QVector<Paragraph> p = paragraphs(view.document());
        QCOMPARE(p.size(), 2 + 2 * 6);
        QCOMPARE(p[0].text, QStringLiteral("[]2020-01-01 00:00:00"));
        for (int i = 0; i < p.size(); i += 2) {
            // No sender id: never the user's own, whether or not UserId is set.
            QCOMPARE(p[i].color, kOther);
            QVERIFY(p[i].text.startsWith(QStringLiteral("[]")));
        }
    }

    // Numbers are ids too, shown as decimal text; so are numeric times and texts.
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    KvRoomUi view(room.get(), nullptr);
    room->setCurMessage(QJsonObject{{"userId", 1001}, {"dateTime", 20200206}, {"data", 42}});
    room->loadHistory(
        QJsonArray{QJsonObject{{"userId", 1001.5}, {"dateTime", -0.25}, {"data", 0.1}},
                   QJsonObject{{"userId", 20200206104507.0}, {"data", 1e300}},
                   QJsonObject{{"userId", "1001"}, {"data", true}, {"dateTime", QJsonValue()}}});
    const QVector<Paragraph> p = paragraphs(view.document());
    QCOMPARE(p.size(), 8);
    QCOMPARE(p[0].text, QStringLiteral("[1001]20200206"));
    QCOMPARE(p[0].color, kOwn);
    QCOMPARE(p[1].text, QStringLiteral("42"));
    QCOMPARE(p[2].text, QStringLiteral("[1001.5]-0.25"));
    QCOMPARE(p[2].color, kOther);
    QCOMPARE(p[3].text, QStringLiteral("0.1"));
    QCOMPARE(p[4].text, QStringLiteral("[20200206104507]"));
    QCOMPARE(p[5].text, QStringLiteral("1e+300"));
    QCOMPARE(p[6].text, QStringLiteral("[1001]"));
    QCOMPARE(p[6].color, kOwn);
    QCOMPARE(p[7].text, QString());
}

void TestRoomUi::historyAppendsAndNonObjects()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    KvRoomUi view(room.get(), nullptr);
    room->setCurMessage(record("1001", "first"));
    room->loadHistory(QJsonArray());
    QCOMPARE(view.document()->blockCount(), 2);

    room->loadHistory(
        QJsonArray{record("2002", "a"), 7, "text", QJsonArray{}, record("1001", "b")});
    const QVector<Paragraph> p = paragraphs(view.document());
    QCOMPARE(p.size(), 2 + 2 * 5);
    QCOMPARE(p[1].text, QStringLiteral("first"));
    QCOMPARE(p[2].text, QStringLiteral("[2002]2020-02-06 10:45:07"));
    QCOMPARE(p[3].text, QStringLiteral("a"));
    for (int i = 4; i < 10; i += 2) {
        QCOMPARE(p[i].text, QStringLiteral("[]"));
        QCOMPARE(p[i].color, kOther);
        QCOMPARE(p[i + 1].text, QString());
        QCOMPARE(p[i + 1].pixelSize, 16);
    }
    QCOMPARE(p[10].color, kOwn);
    QCOMPARE(p[11].text, QStringLiteral("b"));
}

void TestRoomUi::clearEmptiesDocument()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    KvRoomUi view(room.get(), nullptr);
    room->loadHistory(plainHistory(5));
    room->resetRoom();
    QVERIFY(view.document()->isEmpty());
    room->setCurMessage(record("2002", "after"));
    const QVector<Paragraph> p = paragraphs(view.document());
    QCOMPARE(p.size(), 2);
    QCOMPARE(p[0].text, QStringLiteral("[2002]2020-02-06 10:45:07"));
    QCOMPARE(p[0].color, kOther);
    QCOMPARE(p[0].pixelSize, 13);
}

void TestRoomUi::messagesShownLiterally_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("image") << R"(<img src="file:///etc/passwd">)";
    QTest::newRow("anchor") << R"(<a href="x">y</a>)";
    QTest::newRow("bold") << "<b>bold</b>";
    QTest::newRow("html") << "<html><body><p style=\"color:red\">red</p><hr/></body></html>";
    QTest::newRow("entity") << "&lt;b&gt; &amp; <br>";
}

void TestRoomUi::messagesShownLiterally()
{
    QFETCH(QString, text);
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    SpyRoomUi view(room.get(), nullptr);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    room->setCurMessage(record("1001", text));              // own, text as the message
    room->setCurMessage(record(text, text, text));          // id and time too
    room->loadHistory(QJsonArray{record("7", text, text)}); // and through history
    view.grab();                                            // layout and paint

    const QVector<Paragraph> p = paragraphs(view.document());
    QCOMPARE(p.size(), 6);
    const QString wanted[] = {
        "[1001]2020-02-06 10:45:07", text, "[" + text + "]" + text, text, "[7]" + text, text};
    const QColor colors[] = {kOwn, Qt::black, kOther, Qt::black, kOther, Qt::black};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(p[i].text, wanted[i]);
        QCOMPARE(p[i].color, colors[i]);
        QCOMPARE(p[i].pixelSize, i % 2 ? 16 : 13);
        QCOMPARE(p[i].family, QStringLiteral("黑体"));
        QCOMPARE(p[i].fragments, 1);
        QVERIFY(!p[i].richObject);
    }
    QVERIFY(view.document()->allFormats().size() > 0);
    for (const QTextFormat &f : view.document()->allFormats()) {
        QVERIFY(!f.isImageFormat());
        QVERIFY(!f.isTableFormat());
        QVERIFY(!f.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth));
    }
    QVERIFY(view.requested.isEmpty());
    QVERIFY(view.document()->toPlainText().contains(text));
}

void TestRoomUi::sameDocumentAsAppend()
{
    // History is grouped into one edit block; the document must be the one
    // that one message at a time, and Qt's own append, give.
    const QJsonArray his = plainHistory(60);
    RoomPtr room = makeRoom(QStringLiteral("1001"), 1.25);
    KvRoomUi grouped(room.get(), nullptr);
    KvRoomUi single(room.get(), nullptr);
    QTextBrowser reference;
    QObject::disconnect(room.get(), nullptr, &single, nullptr);
    QObject::disconnect(room.get(), nullptr, &grouped, nullptr);

    for (int round = 0; round < 2; ++round) { // from empty, then after a clear
        grouped.slotLoadHistory(his);
        for (const QJsonValue &v : his) {
            single.slotShowMessage(v.toObject());
            referenceAppend(reference, room->userId(), room->scale(), v.toObject());
        }
        QCOMPARE(grouped.document()->blockCount(),
                 2 * his.size() + 60); // each text has one line break
        QCOMPARE(grouped.toHtml(), single.toHtml());
        QCOMPARE(grouped.toHtml(), reference.toHtml());
        const QVector<Paragraph> g = paragraphs(grouped.document());
        const QVector<Paragraph> r = paragraphs(reference.document());
        QCOMPARE(g.size(), r.size());
        for (int i = 0; i < g.size(); ++i) {
            QCOMPARE(g[i].text, r[i].text);
            QCOMPARE(g[i].color, r[i].color);
            QCOMPARE(g[i].pixelSize, r[i].pixelSize);
        }
        QCOMPARE(grouped.currentCharFormat(), reference.currentCharFormat());
        grouped.slotClearHistory();
        single.slotClearHistory();
        reference.clear();
    }
}

namespace {

QJsonArray shortHistory(int first, int n)
{
    QJsonArray his;
    for (int i = first; i < first + n; ++i)
        his.append(record(QString::number(1000 + i % 3), QStringLiteral("m%1").arg(i)));
    return his;
}

// The text of block n.
QString blockText(const QTextDocument *doc, int n)
{
    return doc->findBlockByNumber(n).text();
}

} // namespace

void TestRoomUi::historyKeepsNewestMessages()
{
    using KvMessageLimits::kDropMessages;
    using KvMessageLimits::kMaxMessages;
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    KvRoomUi view(room.get(), nullptr);
    KvRoomUi fresh(room.get(), nullptr);
    QObject::disconnect(room.get(), nullptr, &fresh, nullptr);
    QTextDocument *doc = view.document();

    // A longer history than the view keeps: the newest records, and the
    // document those records alone give.
    room->loadHistory(shortHistory(0, kMaxMessages + 100));
    QCOMPARE(doc->blockCount(), 2 * kMaxMessages);
    QCOMPARE(blockText(doc, 1), QStringLiteral("m100"));
    QCOMPARE(blockText(doc, 2 * kMaxMessages - 1), QStringLiteral("m%1").arg(kMaxMessages + 99));
    fresh.slotLoadHistory(shortHistory(100, kMaxMessages));
    QCOMPARE(view.toHtml(), fresh.toHtml());

    // Full, one more: the oldest leave together. Lines inside a text are
    // blocks of their own and leave with their message.
    room->resetRoom();
    QJsonArray his{record("7", "a\nb\nc")};
    for (const QJsonValue &v : shortHistory(0, kMaxMessages - 1))
        his.append(v);
    room->loadHistory(his);
    QCOMPARE(doc->blockCount(), 2 * kMaxMessages + 2);
    QCOMPARE(blockText(doc, 0), QStringLiteral("[7]2020-02-06 10:45:07"));
    room->setCurMessage(record("1001", "next"));
    const int kept = kMaxMessages - kDropMessages;
    QCOMPARE(doc->blockCount(), 2 * kept);
    const int oldest = kDropMessages; // m0 .. m(kDrop - 1) left with the "7" message
    QCOMPARE(blockText(doc, 1), QStringLiteral("m%1").arg(oldest));
    QCOMPARE(blockText(doc, 2 * kept - 1), QStringLiteral("next"));
    fresh.slotClearHistory();
    fresh.slotLoadHistory(shortHistory(oldest, kept - 1));
    fresh.slotShowMessage(record("1001", "next"));
    QCOMPARE(view.toHtml(), fresh.toHtml());
    QCOMPARE(paragraphs(doc).first().color, kOther);
}

void TestRoomUi::liveMessagesKeepNewest()
{
    // Live messages are capped as history is; the view keeps no undo history.
    using KvMessageLimits::kDropMessages;
    using KvMessageLimits::kMaxMessages;
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    KvRoomUi view(room.get(), nullptr);
    QVERIFY(!view.isUndoRedoEnabled());
    QTextDocument *doc = view.document();
    for (int i = 0; i < kMaxMessages; ++i)
        room->setCurMessage(record("2002", QStringLiteral("live %1").arg(i)));
    QCOMPARE(doc->blockCount(), 2 * kMaxMessages);
    for (int i = kMaxMessages; i < kMaxMessages + 50; ++i)
        room->setCurMessage(record("2002", QStringLiteral("live %1").arg(i)));
    QCOMPARE(doc->blockCount(), 2 * (kMaxMessages - kDropMessages + 49));
    QCOMPARE(blockText(doc, 1), QStringLiteral("live %1").arg(kDropMessages + 1));
    QCOMPARE(doc->availableUndoSteps(), 0);
    room->resetRoom();
    QVERIFY(doc->isEmpty());
    QVERIFY(!view.isUndoRedoEnabled());
    room->setCurMessage(record("2002", "again"));
    QCOMPARE(doc->blockCount(), 2);
}

namespace {

// The message under the top edge of the view and how far below that edge its
// text starts.
struct ReaderPlace
{
    QString text;
    int offset = 0;
};

ReaderPlace readerPlace(const KvRoomUi &view)
{
    QTextBlock b = view.cursorForPosition(QPoint(10, 1)).block();
    if (b.text().startsWith(QLatin1Char('[')))
        b = b.next(); // a header: its message's text
    const QRectF r = view.document()->documentLayout()->blockBoundingRect(b);
    return {b.text(), qRound(r.top()) - view.verticalScrollBar()->value()};
}

} // namespace

void TestRoomUi::readerKeepsPlaceWhenOldestLeave()
{
    using KvMessageLimits::kDropMessages;
    using KvMessageLimits::kMaxMessages;
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    KvRoomUi view(room.get(), nullptr);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QScrollBar *bar = view.verticalScrollBar();
    QJsonArray his;
    for (int i = 0; i < kMaxMessages; ++i)
        his.append(record("2002", QStringLiteral("message %1").arg(i)));
    room->loadHistory(his);
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), bar->maximum());

    // Scrolled up to the middle: the oldest leave, the text stays put.
    bar->setValue(bar->maximum() / 2);
    const ReaderPlace before = readerPlace(view);
    QVERIFY(before.text.startsWith(QStringLiteral("message 24")));
    room->setCurMessage(record("2002", QStringLiteral("message %1").arg(kMaxMessages)));
    QCoreApplication::processEvents();
    QCOMPARE(view.document()->blockCount(), 2 * (kMaxMessages - kDropMessages));
    const ReaderPlace after = readerPlace(view);
    QCOMPARE(after.text, before.text);
    QVERIFY2(qAbs(after.offset - before.offset) <= 1,
             qPrintable(QStringLiteral("%1 -> %2").arg(before.offset).arg(after.offset)));

    // At the bottom: the view stays at the bottom, the newest message in sight.
    bar->setValue(bar->maximum());
    for (int i = kMaxMessages + 1; i <= kMaxMessages + kDropMessages + 1; ++i)
        room->setCurMessage(record("2002", QStringLiteral("message %1").arg(i)));
    QCOMPARE(view.document()->blockCount(), 2 * (kMaxMessages - kDropMessages));
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), bar->maximum());
    const QPoint bottom(10, view.viewport()->height() - 2);
    QCOMPARE(view.cursorForPosition(bottom).block().text(),
             QStringLiteral("message %1").arg(kMaxMessages + kDropMessages + 1));

    // Scrolled to the very top: what was above the reader is gone; the view
    // shows the oldest message kept.
    bar->setValue(0);
    room->loadHistory(shortHistory(0, kDropMessages + 1));
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), 0);
    QCOMPARE(blockText(view.document(), 1), readerPlace(view).text);
}

void TestRoomUi::longHistoryLaidOutOnlyWhereKept()
{
    // Far more history than the view keeps by height: the newest records are
    // chosen before layout, so nothing is laid out only to leave again.
    using KvMessageLimits::kDropToHeight;
    RoomPtr room = makeRoom(QStringLiteral("1001"), 8);
    KvRoomUi view(room.get(), nullptr);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    room->setCurMessage(record("7", "before the history"));
    QTextDocument *doc = view.document();
    int removed = 0;
    connect(doc, &QTextDocument::contentsChange, this,
            [&](int, int charsRemoved, int) { removed += charsRemoved; });
    const QString words = QStringLiteral("history words of ordinary length ").repeated(90);
    QJsonArray his;
    const int n = 800;
    for (int i = 0; i < n; ++i)
        his.append(record(QString::number(1000 + i % 3), QString::number(i) + ' ' + words));
    room->loadHistory(his);
    view.grab();

    // The message shown before stays: the history fits under the height
    // limit with it. Nothing left the document.
    QCOMPARE(removed, 0);
    QCOMPARE(blockText(doc, 1), QStringLiteral("before the history"));
    const int kept = doc->blockCount() / 2 - 1;
    QVERIFY2(kept > 20 && kept < n / 2, qPrintable(QString::number(kept)));
    // The newest records, in order, as many as the height allows.
    for (int k = 0; k < kept; ++k)
        QCOMPARE(blockText(doc, 2 * k + 3), QString::number(n - kept + k) + ' ' + words);
    const double height = doc->documentLayout()->documentSize().height();
    QVERIFY2(height <= kDropToHeight * 1.02 && height > kDropToHeight * 0.9,
             qPrintable(QString::number(height)));
}

void TestRoomUi::tallDocumentStaysUnderLayoutLimit()
{
    // Qt's layout never returns from a pass that crosses 2^23 pixels. Tall
    // messages at a large scale pass that height in a few thousand blocks.
    // One view is on screen, the other not shown yet (nothing laid out).
    using KvMessageLimits::kKeptHeight;
    RoomPtr room = makeRoom(QStringLiteral("1001"), 8);
    KvRoomUi shown(room.get(), nullptr);
    KvRoomUi hidden(room.get(), nullptr);
    shown.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shown));
    const QString lines = QStringLiteral("x\n").repeated(1500); // not cut at this scale
    const int blocks = 1 + 1501;
    QJsonArray his;
    for (int i = 0; i < 40; ++i)
        his.append(record(QString::number(i), lines));
    room->loadHistory(his); // 40 x 1501 lines of 128-pixel text: over 8.4 million pixels
    for (int i = 40; i < 45; ++i)
        room->setCurMessage(record(QString::number(i), lines));
    hidden.show();
    QVERIFY(QTest::qWaitForWindowExposed(&hidden));

    for (KvRoomUi *view : {&shown, &hidden}) {
        QTextDocument *doc = view->document();
        view->grab(); // laid out at the view's real width and painted
        const double height = doc->documentLayout()->documentSize().height();
        // The hidden view measured at its full width; the scroll bar takes a
        // little of it once shown.
        QVERIFY2(height <= kKeptHeight * 1.1, qPrintable(QString::number(height)));
        QVERIFY2(height > kKeptHeight / 2, qPrintable(QString::number(height)));
        const int kept = doc->blockCount() / blocks;
        QCOMPARE(doc->blockCount(), kept * blocks);
        QVERIFY(kept < 45);
        QCOMPARE(blockText(doc, 0), QStringLiteral("[%1]2020-02-06 10:45:07").arg(45 - kept));
        QCOMPARE(blockText(doc, doc->blockCount() - blocks),
                 QStringLiteral("[44]2020-02-06 10:45:07"));
    }
    QVERIFY(shown.document()->documentLayout()->documentSize().height() <= kKeptHeight);
}

void TestRoomUi::longParagraphsCutWithMark()
{
    using KvMessageLimits::kMaxParagraphChars;
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    KvRoomUi view(room.get(), nullptr);
    QCOMPARE(view.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QString run(1 << 20, QLatin1Char('x')); // 1 MB without spaces
    const QString breaks = QStringLiteral("\n").repeated(1 << 20);
    const QString exact(kMaxParagraphChars, QLatin1Char('y'));
    const QString pair =
        QString(kMaxParagraphChars - 1, QLatin1Char('z')) + QStringLiteral("\U0001F600");

    room->setCurMessage(record("2002", run));
    room->loadHistory(QJsonArray{record("2002", breaks), record("2002", exact)});
    room->setCurMessage(record(run, pair));
    view.grab(); // laid out and painted

    const QString mark = QStringLiteral(" [\u2026]");
    const QVector<Paragraph> p = paragraphs(view.document());
    QCOMPARE(p.size(), 2 + (1 + kMaxParagraphChars + 1) + 2 + 2);
    QCOMPARE(p[1].text, run.left(kMaxParagraphChars) + mark);
    QCOMPARE(p[1].fragments, 2);
    QTextFragment last;
    const QTextBlock cutBlock = view.document()->findBlockByNumber(1);
    for (auto it = cutBlock.begin(); !it.atEnd(); ++it)
        last = it.fragment();
    QCOMPARE(last.text(), mark);
    QVERIFY(last.charFormat().foreground().color() != QColor(Qt::black));
    // 10 000 line breaks: that many more lines, the mark on the last.
    const int at = 3 + kMaxParagraphChars;
    QCOMPARE(p[3].text, QString());
    QCOMPARE(p[at - 1].text, QString());
    QCOMPARE(p[at].text, mark);
    QCOMPARE(p[at + 2].text, exact); // exactly the limit: shown whole
    QCOMPARE(p[at + 2].fragments, 1);
    QCOMPARE(p[at + 3].text, ("[" + run + "]2020-02-06 10:45:07").left(kMaxParagraphChars) + mark);
    QCOMPARE(p[at + 3].color, kOther);
    QCOMPARE(p[at + 4].text, pair.left(kMaxParagraphChars - 1) + mark); // no half pair
}

void TestRoomUi::muteButtonStates()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    KvRoomUi view(room.get(), nullptr);
    auto *btn = view.findChild<QPushButton *>(QStringLiteral("shurupBtn"));
    QVERIFY(btn);
    QCOMPARE(btn->parent(), &view);
    QCOMPARE(btn->text(), QStringLiteral("ID_SHUTUP"));
    QSignalSpy spy(&view, &KvRoomUi::signalShutupBtnClick);

    QTest::mouseClick(btn, Qt::LeftButton);
    QCOMPARE(btn->text(), QStringLiteral("ID_CANCLE_SHUTUP"));
    QTest::mouseClick(btn, Qt::LeftButton);
    QCOMPARE(btn->text(), QStringLiteral("ID_SHUTUP"));
    view.slotOnbtnClick(true); // the argument is not the state
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(0).at(0).toBool(), false);
    QCOMPARE(spy.at(1).at(0).toBool(), true);
    QCOMPARE(spy.at(2).at(0).toBool(), false);

    view.slotRestore();
    QCOMPARE(btn->text(), QStringLiteral("ID_SHUTUP"));
    QCOMPARE(spy.count(), 3);
    view.slotRestore(); // when not muted: nothing changes
    QCOMPARE(btn->text(), QStringLiteral("ID_SHUTUP"));
    QTest::mouseClick(btn, Qt::LeftButton);
    QCOMPARE(spy.last().at(0).toBool(), false);
}

void TestRoomUi::sizesAndStyles_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<QSize>("btnSize");
    QTest::addColumn<QString>("radius");  // button corner, floating
    QTest::addColumn<QString>("font");    // button font, floating
    QTest::addColumn<QStringList>("bar"); // %1..%5 of the scroll-bar style
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("bottom");
    QTest::newRow("1") << 1.0 << QSize(320, 412) << QSize(55, 26) << "2"
                       << "12" << QStringList{"2", "4", "8", "20", "10"} << 14 << 4;
    QTest::newRow("1.25") << 1.25 << QSize(400, 515) << QSize(68, 32) << "2.5"
                          << "15" << QStringList{"2.5", "5", "10", "25", "12"} << 17 << 5;
    QTest::newRow("1.5") << 1.5 << QSize(480, 618) << QSize(82, 39) << "3"
                         << "18" << QStringList{"3", "6", "12", "30", "15"} << 21 << 6;
}

void TestRoomUi::sizesAndStyles()
{
    QFETCH(double, scale);
    QFETCH(QSize, viewSize);
    QFETCH(QSize, btnSize);
    QFETCH(QString, radius);
    QFETCH(QString, font);
    QFETCH(QStringList, bar);
    QFETCH(int, right);
    QFETCH(int, bottom);

    RoomPtr room = makeRoom(QStringLiteral("1001"), scale);
    KvRoomUi view(room.get(), nullptr);
    QCOMPARE(view.objectName(), QStringLiteral("kvroomui"));
    QCOMPARE(view.size(), viewSize);
    QCOMPARE(view.minimumSize(), view.maximumSize());
    QCOMPARE(view.contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(view.isReadOnly());
    QCOMPARE(view.styleSheet(),
             QStringLiteral("QTextEdit#kvroomui{background:transparent;border:none;}"));

    auto *btn = view.findChild<QPushButton *>(QStringLiteral("shurupBtn"));
    QCOMPARE(btn->size(), btnSize);
    QCOMPARE(btn->styleSheet(),
             QStringLiteral("QPushButton#shurupBtn{background-color:#3C96FF;border:none;"
                            "border-radius:%1px;color:#ffffff;font-size:%2px;}")
                 .arg(radius, font));

    const QString sheet = view.verticalScrollBar()->styleSheet();
    QVERIFY(sheet.startsWith(QStringLiteral("QScrollBar:vertical{width:%1px;").arg(bar[4])));
    QVERIFY(sheet.contains(QStringLiteral("padding-right:%1px;}").arg(bar[0])));
    QCOMPARE(sheet.count(QStringLiteral("border-radius: %1px;width:%2px;").arg(bar[1], bar[2])), 3);
    QCOMPARE(sheet.count(QStringLiteral("min-height:%1px;}").arg(bar[3])), 3);
    QVERIFY(sheet.contains(QStringLiteral("background: rgb(0, 0, 0, 20);")));
    QVERIFY(!sheet.contains(QLatin1Char('%')));

    // Bottom-right corner, over the text.
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(btn->geometry().right(), view.width() - 1 - right);
    QCOMPARE(btn->geometry().bottom(), view.height() - 1 - bottom);
}

QTEST_MAIN(TestRoomUi)
#include "tst_kvroomui.moc"
