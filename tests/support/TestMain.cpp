#include "log/DebugLog.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char *argv[])
{
    // Widget tests run off screen unless the environment names a display platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("GLINT_VOICE_MODULE"))
        qputenv("GLINT_VOICE_MODULE", GLINT_VOICE_MODULE_PATH);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // Tests never touch the user's log; LogRecorder points the log at a file of its own.
    DebugLog::setFilePath(QString());
    if (qEnvironmentVariableIsEmpty("GLINT_TEST_VERBOSE"))
        DebugLog::setEcho(nullptr);
    return RUN_ALL_TESTS();
}
