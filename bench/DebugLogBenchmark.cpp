#include "log/DebugLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString category = QStringLiteral("Session");
const QString message = QStringLiteral("Streaming task started provider=anthropic prefixMessages=1 historyMessages=0 "
                                       "messages=1 isFirstTurn=true");

// What the caller pays per line: formatting, the echo to standard output (sent to /dev/null here) and
// handing the line to the writer. The file append happens on the writer thread.
void BM_LogCallerCost(benchmark::State &state)
{
    QTemporaryDir dir;
    DebugLog::setFilePath(dir.filePath(QStringLiteral("glint.log")));
    FILE *devNull = std::fopen("/dev/null", "w");
    DebugLog::setEcho(devNull);
    for (auto _ : state)
        DebugLog::log(category, message);
    DebugLog::flush();
    DebugLog::setEcho(nullptr);
    DebugLog::setFilePath(QString());
    std::fclose(devNull);
}
BENCHMARK(BM_LogCallerCost)->UseRealTime();

// For comparison: appending the same line synchronously, opening and closing the file each time.
void BM_SynchronousAppend(benchmark::State &state)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("glint.log")));
    const QByteArray line = DebugLog::formatLine(category, message).toUtf8() + '\n';
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        benchmark::DoNotOptimize(::write(fd, line.constData(), size_t(line.size())));
        ::close(fd);
    }
}
BENCHMARK(BM_SynchronousAppend)->UseRealTime();

} // namespace
