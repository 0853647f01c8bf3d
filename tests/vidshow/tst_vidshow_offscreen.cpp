// Without an X11 window system vidshow hands out no device.
#include "vidshow.h"

#include <QTest>
#include <QWidget>

class TestVidshowOffscreen : public QObject
{
    Q_OBJECT
private slots:
    void noDevice()
    {
        InitDisplayDevEnv(0);
        QWidget w;
        w.show();
        QVERIFY(!CreateVideoDeivce(w.winId(), 0));
        QVERIFY(!CreateVideoDeivce(1, 0));
        unsigned char frame[6] = {};
        QCOMPARE(DisplayI420Video(nullptr, frame, frame + 4, frame + 5, 2, 2), -1);
    }
};

QTEST_MAIN(TestVidshowOffscreen)
#include "tst_vidshow_offscreen.moc"
