// Time from `glint annotate` to the overlay painted, on the session this runs in. Starts Glint as the tray
// instance, then runs `glint annotate` as a desktop shortcut would, process start and hand-over included,
// and reads the moment the first overlay painted the frozen frame from Glint's log (GLINT_LOG_FILE), which
// states it on the system's monotonic clock. Ends each session with the given program (an Escape key).
// Prints every run and first, median, p90 and max.
// Usage: measure_annotate_latency GLINT RUNS NAME ESCAPE-PROGRAM [ARGUMENTS...]
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

double monotonicMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The log from `offset` on, as Glint writes it.
class LogTail {
public:
    explicit LogTail(const QString &path)
        : file_(path)
    {
    }

    void skipToEnd() { offset_ = file_.size(); }

    // Waits up to `seconds` for a line containing `text`; that line.
    std::optional<QString> waitFor(const QString &text, int seconds)
    {
        const double until = monotonicMs() + seconds * 1000.0;
        while (monotonicMs() < until) {
            if (file_.open(QIODevice::ReadOnly)) {
                file_.seek(offset_);
                const QString added = QString::fromUtf8(file_.readAll());
                file_.close();
                for (const QString &line : added.split(u'\n'))
                    if (line.contains(text))
                        return line;
            }
            QThread::msleep(5);
        }
        return std::nullopt;
    }

private:
    QFile file_;
    qint64 offset_ = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString logPath = qEnvironmentVariable("GLINT_LOG_FILE");
    if (argc < 5 || logPath.isEmpty()) {
        std::fputs("usage: GLINT_LOG_FILE=LOG measure_annotate_latency GLINT RUNS NAME ESCAPE-PROGRAM [ARGUMENTS...]\n",
                   stderr);
        return 2;
    }
    const QString glint = QString::fromLocal8Bit(argv[1]);
    const int runs = std::max(1, std::atoi(argv[2]));
    const char *name = argv[3];
    const QString escape = QString::fromLocal8Bit(argv[4]);
    QStringList escapeArguments;
    for (int i = 5; i < argc; ++i)
        escapeArguments << QString::fromLocal8Bit(argv[i]);

    QFile::remove(logPath);
    LogTail log(logPath);
    QProcess tray;
    tray.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tray.setStandardOutputFile(QProcess::nullDevice());
    tray.start(glint, {});
    // Past the start-up work and the preparation of the overlay windows a second later.
    QThread::msleep(2500);

    static const QRegularExpression painted(u"Frozen frame painted .*monotonicMs=([0-9.]+)"_qs);
    std::vector<double> millis;
    for (int run = 0; run < runs; ++run) {
        log.skipToEnd();
        const double start = monotonicMs();
        QProcess annotate;
        annotate.start(glint, {QStringLiteral("annotate")});
        const std::optional<QString> line = log.waitFor(u"[OverlayWindow] Frozen frame painted"_qs, 10);
        annotate.waitForFinished();
        if (!line) {
            std::fprintf(stderr, "run %d: no overlay within 10 s\n", run + 1);
            break;
        }
        millis.push_back(painted.match(*line).captured(1).toDouble() - start);
        QProcess::execute(escape, escapeArguments);
        log.waitFor(u"[Session] Session cancelled and state reset"_qs, 5);
        QThread::msleep(300);
    }
    tray.terminate();
    tray.waitForFinished();

    if (millis.empty())
        return 1;
    std::printf("%s, %zu runs (ms):", name, millis.size());
    for (double value : millis)
        std::printf(" %.1f", value);
    std::vector<double> sorted = millis;
    std::sort(sorted.begin(), sorted.end());
    std::printf("\nfirst %.1f  median %.1f  p90 %.1f  max %.1f\n", millis.front(), sorted[sorted.size() / 2],
                sorted[sorted.size() * 9 / 10], sorted.back());
    return 0;
}
