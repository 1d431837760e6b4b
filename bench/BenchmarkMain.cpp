#include "log/DebugLog.h"

#include <QApplication>

#include <benchmark/benchmark.h>

// Widgets, text rendering and the event loop need an application object.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    DebugLog::setFilePath(QString());
    DebugLog::setEcho(nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
