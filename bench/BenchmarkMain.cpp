#include "log/DebugLog.h"

#include <QApplication>

#include <benchmark/benchmark.h>

// Widgets, text rendering and the event loop need an application object.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("GLINT_VOICE_MODULE")) // benchmarks do not lie beside it
        qputenv("GLINT_VOICE_MODULE", GLINT_VOICE_MODULE_PATH);
    QApplication app(argc, argv);
    DebugLog::setFilePath(QString());
    DebugLog::setEcho(nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
