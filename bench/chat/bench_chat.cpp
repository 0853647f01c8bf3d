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

void BM_LoadHistory(benchmark::State &state)
{
    const QJsonArray his = makeHistory(int(state.range(0)));
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

} // namespace

BENCHMARK(BM_Baseline_Append)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadHistory)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveMessages)->Arg(1000)->Unit(benchmark::kMillisecond);

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
