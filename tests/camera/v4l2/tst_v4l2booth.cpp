#include <QtTest>
class TestV4l2Booth : public QObject
{
    Q_OBJECT
};
QTEST_GUILESS_MAIN(TestV4l2Booth)
#include "tst_v4l2booth.moc"
