// The overlay: layout of the full-screen button, the painted frame and
// brackets, the toggle and the window mask.
#include "kvbackwidget.h"

#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {
const QRgb kBracket = 0xFFF8403D;
const QRgb kRed = 0xFFFF0000;
const char *const kNormalStyle =
    "border-image:url(:/img/images/main_widget/camera_full_screen.png);";
const char *const kFullStyle = "border-image:url(:/img/images/main_widget/camera_restore.png);";

QImage renderOverlay(KvBackWidget &w)
{
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}
} // namespace

class TestKvBackWidget : public QObject
{
    Q_OBJECT
private slots:
    void metaObject()
    {
        const QMetaObject &mo = KvBackWidget::staticMetaObject;
        QCOMPARE(mo.methodCount() - mo.methodOffset(), 1);
        QCOMPARE(mo.method(mo.methodOffset()).methodSignature(),
                 QByteArray("slotOnBtnClicked(bool)"));
        QCOMPARE(mo.method(mo.methodOffset()).methodType(), QMetaMethod::Slot);
    }

    void button_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("margin");
        QTest::newRow("1") << 1.0 << 40 << 16;
        QTest::newRow("1.25") << 1.25 << 50 << 20;
    }
    void button()
    {
        QFETCH(double, scale);
        QFETCH(int, side);
        QFETCH(int, margin);
        KvBackWidget w(scale, nullptr);
        w.resize(500, 300);
        auto *b = w.findChild<QPushButton *>("fullbtn");
        QVERIFY(b);
        QVERIFY(b->isHidden());
        QVERIFY(b->isCheckable());
        QCOMPARE(b->styleSheet(), QString(kNormalStyle));
        w.setFullScreenToggleEnabled(true);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(b->isVisible());
        QCOMPARE(b->size(), QSize(side, side));
        QCOMPARE(b->geometry().right(), w.width() - 1 - margin);
        QCOMPARE(b->geometry().bottom(), w.height() - 1 - margin);
    }

    void painting_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("arm");
        QTest::addColumn<int>("thickness");
        QTest::newRow("1") << 1.0 << 40 << 4;
        QTest::newRow("1.25") << 1.25 << 50 << 5;
    }
    void painting()
    {
        QFETCH(double, scale);
        QFETCH(int, arm);
        QFETCH(int, thickness);
        KvBackWidget w(scale, nullptr);
        w.resize(400, 225);
        const QImage img = renderOverlay(w);
        const int W = img.width(), H = img.height();

        // Each corner: an L of the bracket colour, arm long, thickness thick.
        struct Corner
        {
            int x0, y0, dx, dy; // corner pixel and the direction into the window
        };
        const Corner corners[] = {
            {0, 0, 1, 1}, {W - 1, 0, -1, 1}, {0, H - 1, 1, -1}, {W - 1, H - 1, -1, -1}};
        for (const Corner &c : corners) {
            const auto at = [&](int along, int across, bool horizontal) {
                return horizontal ? img.pixel(c.x0 + c.dx * along, c.y0 + c.dy * across)
                                  : img.pixel(c.x0 + c.dx * across, c.y0 + c.dy * along);
            };
            for (bool horizontal : {true, false}) {
                // Inside the arm, clear of its ends.
                for (int along = thickness + 1; along < arm - 2; ++along)
                    for (int across = 1; across < thickness - 1; ++across)
                        QCOMPARE(at(along, across, horizontal), kBracket);
                // Beyond the arm's end and inside the bracket: not bracket.
                QVERIFY(at(arm + 3, 1, horizontal) != kBracket);
                QVERIFY(at(arm / 2, thickness + 2, horizontal) != kBracket);
            }
        }

        // The dashed frame: red dashes with gaps along every edge, transparent inside.
        const auto countRuns = [&](bool horizontal, int line) {
            int runs = 0, red = 0;
            bool inRun = false;
            const int from = arm + 5, to = (horizontal ? W : H) - arm - 5;
            for (int i = from; i < to; ++i) {
                const QRgb p = horizontal ? img.pixel(i, line) : img.pixel(line, i);
                const bool isRed = p == kRed;
                red += isRed;
                if (isRed && !inRun)
                    ++runs;
                inRun = isRed;
            }
            return qMakePair(runs, red);
        };
        for (auto edge : {qMakePair(true, 1), qMakePair(true, H - 2), qMakePair(false, 1),
                          qMakePair(false, W - 2)}) {
            const auto r = countRuns(edge.first, edge.second);
            QVERIFY2(r.first >= 5, qPrintable(QString("dashes: %1").arg(r.first)));
            QVERIFY(r.second < ((edge.first ? W : H) - 2 * arm - 10));
        }
        // Pen width 2: two rows of red at the top, none in the third.
        const auto top = [&](int y) { return countRuns(true, y).second; };
        QVERIFY(top(1) > 0);
        QVERIFY(top(0) + top(2) > 0);
        QCOMPARE(top(3), 0);
        QCOMPARE(qAlpha(img.pixel(W / 2, H / 2)), 0);
        QCOMPARE(qAlpha(img.pixel(arm / 2, arm / 2)), 0);
    }

    void toggle()
    {
        KvBackWidget w(1.0, nullptr);
        w.resize(400, 225);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *b = w.findChild<QPushButton *>("fullbtn");
        const QPoint onButton(400 - 16 - 20, 225 - 16 - 20);

        // Disabled: false everywhere, isFull untouched.
        for (const QPoint &p : {onButton, QPoint(0, 0), QPoint(200, 100), QPoint(399, 224)}) {
            bool isFull = true;
            QVERIFY(!w.toggleFullScreenAt(isFull, p));
            QVERIFY(isFull);
        }

        w.setFullScreenToggleEnabled(true);
        QVERIFY(b->geometry().contains(onButton));
        bool isFull = false;
        QVERIFY(!w.toggleFullScreenAt(isFull, QPoint(200, 100)));
        QVERIFY(w.toggleFullScreenAt(isFull, onButton));
        QVERIFY(isFull);
        QCOMPARE(b->styleSheet(), QString(kFullStyle));
        QVERIFY(w.toggleFullScreenAt(isFull, onButton));
        QVERIFY(!isFull);
        QCOMPARE(b->styleSheet(), QString(kNormalStyle));

        // A click on the button itself changes nothing of the overlay.
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(!w.isFullScreen());
        QCOMPARE(b->styleSheet(), QString(kNormalStyle));
    }

    void mask()
    {
        KvBackWidget w(1.0, nullptr);
        w.resize(400, 225);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // Only what is painted belongs to the window.
        QRegion m = w.mask();
        QVERIFY(m.contains(QPoint(20, 1)));
        QVERIFY(m.contains(QPoint(398, 223)));
        QVERIFY(!m.contains(QPoint(200, 112)));
        QVERIFY(!m.contains(QPoint(20, 20)));
        const QPoint onButton(400 - 16 - 20, 225 - 16 - 20);
        QVERIFY(!m.contains(onButton));
        w.setFullScreenToggleEnabled(true);
        QVERIFY(w.mask().contains(onButton));
        // The mask follows the size.
        w.resize(800, 450);
        QTRY_VERIFY(w.mask().contains(QPoint(798, 448)));
        QVERIFY(w.mask().contains(QPoint(800 - 36, 450 - 36)));
        QVERIFY(!w.mask().contains(QPoint(400, 225)));
    }
};

QTEST_MAIN(TestKvBackWidget)
#include "tst_kvbackwidget.moc"
