// Message view: history and live messages against a plain QTextBrowser::append
// of the same paragraphs, measured in the same run.
#include "kvroominfo.h"
#include "kvroomui.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QColor>
#include <QFont>
#include <QJsonArray>
#include <QJsonObject>
#include <QTextBrowser>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <malloc.h>
#include <memory>

namespace {

const QString kLocalId = QStringLiteral("1001");

QJsonArray makeHistory(int n)
{
    QJsonArray his;
    for (int i = 0; i < n; ++i) {
        const QString id = QString::number(1000 + i % 4);
        his.append(
            QJsonObject{{QStringLiteral("userId"), id},
                        {QStringLiteral("userName"), QStringLiteral("user ") + id},
                        {QStringLiteral("data"),
                         QStringLiteral("message number %1, a line of ordinary chat text").arg(i)},
                        {QStringLiteral("dateTime"), QStringLiteral("2020-02-06 10:%1:%2")
                                                         .arg(i / 60 % 60, 2, 10, QChar('0'))
                                                         .arg(i % 60, 2, 10, QChar('0'))}});
    }
    return his;
}

// The same paragraphs, fonts and colours through the widget's own append.
void baselineAppend(QTextBrowser &b, const QJsonObject &m)
{
    const QString sender = m.value(QStringLiteral("userId")).toString();
    QFont head(QStringLiteral("黑体"));
    head.setPixelSize(13);
    b.setCurrentFont(head);
    b.setTextColor(
        QColor(sender == kLocalId ? QStringLiteral("#2828FF") : QStringLiteral("#B766AD")));
    b.append(QStringLiteral("[") + sender + QStringLiteral("]") +
             m.value(QStringLiteral("dateTime")).toString());
    QFont body(QStringLiteral("黑体"));
    body.setPixelSize(16);
    b.setCurrentFont(body);
    b.setTextColor(Qt::black);
    b.append(m.value(QStringLiteral("data")).toString());
}

// Shown means laid out and painted.
void finish(QTextEdit &view)
{
    benchmark::DoNotOptimize(view.document()->documentLayout()->documentSize());
    QCoreApplication::processEvents();
}

struct Room
{
    std::unique_ptr<KvRoomInfo> room;
    std::unique_ptr<KvRoomUi> view;
    Room() : room(static_cast<KvRoomInfo *>(createRoomInfo()->roomObject()))
    {
        room->setUserId(kLocalId);
        view.reset(new KvRoomUi(room.get(), nullptr));
        view->show();
        QCoreApplication::processEvents();
    }
    ~Room() { view.reset(); }
};

void BM_Baseline_Append(benchmark::State &state)
{
    const QJsonArray his = makeHistory(int(state.range(0)));
    QTextBrowser view;
    view.setFixedSize(320, 412);
    view.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        for (const QJsonValue &v : his)
            baselineAppend(view, v.toObject());
        finish(view);
        state.PauseTiming();
        view.clear();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// One load of the history and its layout a round; clearing the room is not timed.
void loadRounds(benchmark::State &state, const QJsonArray &his)
{
    Room r;
    for (auto _ : state) {
        r.room->loadHistory(his);
        finish(*r.view);
        state.PauseTiming();
        r.room->resetRoom();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Records of about 10 000 characters of ordinary words: far more history than the
// view keeps by height.
QJsonArray makeLongHistory(int n)
{
    const QString words = QStringLiteral("chat words of ordinary length ");
    const QString text = words.repeated(10000 / words.size() + 1).left(10000);
    QJsonArray his;
    for (int i = 0; i < n; ++i)
        his.append(
            QJsonObject{{QStringLiteral("userId"), QString::number(1000 + i % 4)},
                        {QStringLiteral("data"), QString::number(i) + text.mid(6)},
                        {QStringLiteral("dateTime"), QStringLiteral("2020-02-06 10:00:00")}});
    return his;
}

void BM_LoadHistory(benchmark::State &state)
{
    loadRounds(state, makeHistory(int(state.range(0))));
}

void BM_LoadLongHistory(benchmark::State &state)
{
    loadRounds(state, makeLongHistory(int(state.range(0))));
}

void BM_LiveMessages(benchmark::State &state)
{
    const QJsonArray his = makeHistory(int(state.range(0)));
    Room r;
    for (auto _ : state) {
        for (const QJsonValue &v : his)
            r.room->setCurMessage(v.toObject());
        finish(*r.view);
        state.PauseTiming();
        r.room->resetRoom();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// One 1 MB message: 0 without spaces, 1 ordinary words, 2 line breaks only.
QString longText(int kind)
{
    const int size = 1 << 20;
    if (kind == 0)
        return QString(size, QLatin1Char('x'));
    if (kind == 1)
        return QStringLiteral("word ").repeated(size / 5);
    return QStringLiteral("\n").repeated(size);
}

// Qt's own append of 1 MB of ordinary words, the case Qt handles well.
void BM_Baseline_LongWords(benchmark::State &state)
{
    const QString text = longText(1);
    QTextBrowser view;
    view.setFixedSize(320, 412);
    view.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        view.append(text);
        finish(view);
        state.PauseTiming();
        view.clear();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_LongMessage(benchmark::State &state)
{
    const QJsonObject record{{QStringLiteral("userId"), QStringLiteral("1002")},
                             {QStringLiteral("data"), longText(int(state.range(0)))},
                             {QStringLiteral("dateTime"), QStringLiteral("2020-02-06 10:45:07")}};
    Room r;
    for (auto _ : state) {
        r.room->setCurMessage(record);
        finish(*r.view);
        state.PauseTiming();
        r.room->resetRoom();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

long residentKb()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

// Memory that live messages add: resident growth after the messages, with the
// event loop running every 1 000 messages as a host's would.
void BM_LiveMemory(benchmark::State &state)
{
    const int n = int(state.range(0));
    Room r;
    double perMessage = 0;
    for (auto _ : state) {
        malloc_trim(0);
        const long before = residentKb();
        for (int i = 0; i < n; ++i) {
            r.room->setCurMessage(
                QJsonObject{{QStringLiteral("userId"), QString::number(1000 + i % 4)},
                            {QStringLiteral("data"), QStringLiteral("hello %1").arg(i)},
                            {QStringLiteral("dateTime"), QStringLiteral("2020-02-06 10:00:00")}});
            if (i % 1000 == 999)
                QCoreApplication::processEvents();
        }
        finish(*r.view);
        malloc_trim(0);
        perMessage = (residentKb() - before) * 1024.0 / n;
        state.PauseTiming();
        r.room->resetRoom();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["bytes_per_message"] = perMessage;
}

} // namespace

BENCHMARK(BM_Baseline_Append)->Arg(1000)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadHistory)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadLongHistory)->Arg(1500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveMessages)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_LongWords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongMessage)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveMemory)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false;qt.qpa.*=false");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
