#include "log/DebugLog.h"

#include <QApplication>

#include <benchmark/benchmark.h>

// Widgets, text rendering and the event loop need an application object.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every drag event adds a segment, as in the application.
    QApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    QApplication app(argc, argv);
    DebugLog::setFilePath(QString());
    DebugLog::setEcho(nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
