#include "support/FakeModelServer.h"
#include "support/ModelStreams.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

// The built glint binary answering `glint ask` against a local server.

namespace {

using Response = FakeModelServer::Response;
using namespace ModelStreams;

struct Outcome {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

class AskProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        const Outcome help = ask({u"--help"_qs});
        if (help.exitCode != 0 || !help.output.contains("QUESTION"))
            GTEST_SKIP() << "glint does not run AskCommand yet";
    }

    Outcome ask(const QStringList &arguments, const QByteArray &input = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"GLINT_ANTHROPIC_BASE_URL"_qs, server_.baseUrl());
        environment.insert(u"GLINT_OPENAI_BASE_URL"_qs, server_.baseUrl());
        environment.insert(u"ANTHROPIC_API_KEY"_qs, u"sk-ant-process"_qs);
        environment.insert(u"OPENAI_API_KEY"_qs, u"sk-openai-process"_qs);
        environment.insert(u"XDG_CONFIG_HOME"_qs, config_.path());
        // No Secret Service: the keys come from the environment.
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs, u"unix:path=/nonexistent/bus"_qs);

        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(GLINT_BINARY), QStringList{u"ask"_qs} + arguments);
        // Standard input arrives in two parts, as from a writer slower than the reader.
        process.write(input.first(input.size() / 2));
        QTest::qWait(input.isEmpty() ? 0 : 300);
        process.write(input.sliced(input.size() / 2));
        process.closeWriteChannel();
        // The server answers on this thread, so wait with the event loop running.
        const bool ended = QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000);
        if (!ended) {
            process.kill();
            process.waitForFinished();
        }
        EXPECT_TRUE(ended) << process.readAllStandardError().toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    QTemporaryDir config_;
    FakeModelServer server_;
};

TEST_F(AskProcess, StreamsTheAnswerAndLeavesTheTrayLogAlone)
{
    const QFileInfo trayLog(u"/tmp/glint.log"_qs);
    const QDateTime logChanged = trayLog.exists() ? trayLog.lastModified() : QDateTime();

    server_.enqueue(Response::events({{anthropicDelta("Hel"), 0}, {anthropicAnswer("lo"), 50}}));
    const Outcome run = ask({u"--verbose"_qs, u"Hi"_qs});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.output, "Hello\n");
    EXPECT_TRUE(run.errors.contains("[Anthropic] Streaming response completed emittedChunks=2"));
    EXPECT_FALSE(run.errors.contains("sk-ant-process"));

    QFileInfo after(trayLog.filePath());
    EXPECT_EQ(after.exists() ? after.lastModified() : QDateTime(), logChanged);
}

TEST_F(AskProcess, SendsAnImageFromStandardInput)
{
    const QByteArray png = encodedImage(QSize(2000, 1000), Qt::gray);

    server_.enqueue(Response::events(openAIAnswer("Grey.")));
    const Outcome run = ask({u"--provider"_qs, u"openai"_qs, u"--image"_qs, u"-"_qs, u"Colour?"_qs}, png);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.output, "Grey.\n");
    ASSERT_EQ(server_.requests().size(), 1);
    EXPECT_EQ(server_.requests()[0].headers.value("authorization"), "Bearer sk-openai-process");
    const QString url =
        QJsonDocument::fromJson(server_.requests()[0].body)[u"messages"][1][u"content"][0][u"image_url"][u"url"]
            .toString();
    EXPECT_EQ(QImage::fromData(QByteArray::fromBase64(url.sliced(22).toLatin1())).size(), QSize(1568, 784));
}

} // namespace
