#include "session/SessionDoubles.h"

#include "log/DebugLog.h"
#include "panel/AutoSizingTextView.h"
#include "panel/MarkdownDocumentWriter.h"
#include "panel/MessageTextView.h"
#include "panel/QueryChatMessageView.h"
#include "panel/QueryPanelContentView.h"
#include "panel/QueryPanelController.h"
#include "panel/TranscriptListView.h"
#include "providers/ModelCatalog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTextBlock>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

constexpr int answerLength = 20000;
constexpr int fragmentCount = 2000;

// A long answer in the Markdown models write: headings, emphasis, inline code, nested lists, a fenced
// block, a table and a quote.
QString markdownAnswer()
{
    const QString section =
        QStringLiteral("## Step %1\n\n"
                       "The **highlighted** widget calls `updateLayout()` when the window is resized, which is why the "
                       "list flickers. Check __both__ handlers and the `QTimer` that drives the refresh.\n\n"
                       "1. first, remove the extra call\n"
                       "2. then move the work into `paintEvent`\n"
                       "   - once per frame\n\n"
                       "```python\nclass Widget:\n    def __init__(self):\n        self.count = a**b + c**d\n```\n\n"
                       "| Handler | Calls | Cost |\n|---|--:|---|\n| resize | 12 | high |\n| paint | 1 | low |\n\n"
                       "> That keeps **one repaint per frame** even while the data streams in.\n\n");
    QString text;
    for (int i = 1; text.size() < answerLength; ++i)
        text += section.arg(i);
    return text.left(answerLength);
}

// What the document shows, run by run, for comparing two renderings.
QList<QPair<QString, QTextCharFormat>> runs(const QTextDocument &document)
{
    QList<QPair<QString, QTextCharFormat>> result;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            result.append({it.fragment().text(), it.fragment().charFormat()});
    return result;
}

// How many rows of pixels a widget painted.
struct PaintedRows : QObject {
    int rows = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            rows += static_cast<QPaintEvent *>(event)->rect().height();
        return false;
    }
};

// One answer streamed into a shown panel after `earlierExchanges` finished ones. Every fragment is
// delivered, applied and painted before the next: the worst case, where each fragment gets a frame
// of its own. The counters are the main-thread time per fragment, and how much of the answer it painted.
void streamAnswerIntoPanel(benchmark::State &state)
{
    const int earlierExchanges = int(state.range(0));
    const QString answer = markdownAnswer();
    bool identical = true;
    std::vector<double> costs;
    std::vector<double> deliverCosts;
    std::vector<double> applyCosts;
    std::vector<double> painted;

    for (auto _ : state) {
        SessionRig rig;
        rig.keys->insert(SettingsManager::anthropicKeyAccount, QStringLiteral("sk-ant-bench"));
        rig.openPanelWithCapture("not decoded");
        ModelCatalog models;
        QueryPanelController panel(*rig.session, std::nullopt, {models});
        panel.show();
        QueryPanelContentView *view = panel.contentView();
        for (int i = 0; i <= earlierExchanges; ++i) {
            rig.session->submit(QStringLiteral("Question %1").arg(i));
            SessionRig::settle();
            if (i == earlierExchanges)
                break;
            rig.providers.latest().yield(answer.left(600));
            rig.providers.latest().finish();
            SessionRig::settle();
        }
        view->flushPendingUpdates();

        costs.clear();
        deliverCosts.clear();
        applyCosts.clear();
        painted.clear();
        PaintedRows paints;
        view->transcript()->rows().last()->textView()->textView()->viewport()->installEventFilter(&paints);
        const int step = answerLength / fragmentCount;
        QElapsedTimer timer;
        for (int i = 0; i < fragmentCount; ++i) {
            timer.start();
            paints.rows = 0;
            rig.providers.latest().yield(answer.mid(i * step, step));
            QCoreApplication::sendPostedEvents();
            const qint64 delivered = timer.nsecsElapsed();
            view->flushPendingUpdates();
            const qint64 applied = timer.nsecsElapsed();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
            QCoreApplication::processEvents(); // the code blocks' copy buttons follow the layout
            costs.push_back(double(timer.nsecsElapsed()) / 1e6);
            deliverCosts.push_back(double(delivered) / 1e6);
            applyCosts.push_back(double(applied - delivered) / 1e6);
            painted.push_back(paints.rows);
        }
        rig.providers.latest().finish();
        SessionRig::settle();
        view->flushPendingUpdates();

        MessageTextView whole(answer, ChatMessageRole::Assistant, false);
        const QTextDocument *shown = view->transcript()->rows().last()->textView()->textView()->document();
        identical = identical && runs(*shown) == runs(*whole.textView()->document());
        panel.close();
    }

    const auto median = [](std::vector<double> values) {
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    state.counters["painted_px_mean"] = std::accumulate(painted.begin(), painted.end(), 0.0) / double(painted.size());
    state.counters["deliver_median_ms"] = median(deliverCosts);
    state.counters["apply_median_ms"] = median(applyCosts);
    // Flat in the answer's length: the last quarter of the fragments costs what the first does.
    const auto quarter = std::ptrdiff_t(costs.size() / 4);
    state.counters["first_quarter_median_ms"] = median({costs.begin(), costs.begin() + quarter});
    state.counters["last_quarter_median_ms"] = median({costs.end() - quarter, costs.end()});
    std::sort(costs.begin(), costs.end());
    state.counters["median_ms"] = costs[costs.size() / 2];
    state.counters["p90_ms"] = costs[costs.size() * 9 / 10];
    state.counters["p99_ms"] = costs[costs.size() * 99 / 100];
    state.counters["max_ms"] = costs.back();
    state.counters["rows_before"] = double(2 * earlierExchanges + 1);
    state.counters["matches_whole"] = identical ? 1 : 0;
    if (!identical)
        state.SkipWithError("the streamed transcript differs from the whole answer rendered at once");
}

// The whole answer read at once: by Qt's own Markdown import and by the panel's md4c writer. Qt's import
// only replaces a whole document, so streaming with it would read the whole answer for every fragment.
void readWholeAnswerWithQt(benchmark::State &state)
{
    const QString answer = markdownAnswer();
    for (auto _ : state) {
        QTextDocument document;
        document.setMarkdown(answer, QTextDocument::MarkdownFeatures(QTextDocument::MarkdownNoHTML | 0x0100 | 0x0200));
        benchmark::DoNotOptimize(document.blockCount());
    }
}

void readWholeAnswerWithMd4c(benchmark::State &state)
{
    const QString answer = markdownAnswer();
    for (auto _ : state) {
        QTextDocument document;
        MarkdownDocumentWriter::prepare(document);
        MarkdownDocumentWriter(document, QColor(Qt::white)).write(answer);
        benchmark::DoNotOptimize(document.blockCount());
    }
}

} // namespace

BENCHMARK(readWholeAnswerWithQt)->Unit(benchmark::kMillisecond);
BENCHMARK(readWholeAnswerWithMd4c)->Unit(benchmark::kMillisecond);
BENCHMARK(streamAnswerIntoPanel)->Arg(0)->Arg(40)->Unit(benchmark::kSecond)->Iterations(1);
