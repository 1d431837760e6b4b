#include "AudioTestSupport.h"
#include "support/FakeModelServer.h"
#include "voice/AudioRecorder.h"
#include "voice/MicrophoneProbe.h"
#include "voice/ReplicateWhisperService.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

// The real microphone path: the test session's sound server, speech from espeak-ng played into its
// virtual microphone, the recording decoded, and a local stand-in for Replicate.

namespace {

using namespace std::chrono_literals;

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

QString pactl(const QStringList &arguments)
{
    QProcess process;
    process.start(u"pactl"_qs, arguments);
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

class RecordedQuestionTest : public ::testing::Test {
protected:
    FakeModelServer server;
    QTemporaryDir dir;

    void SetUp() override { qputenv("GLINT_REPLICATE_BASE_URL", server.baseUrl().toUtf8()); }
    void TearDown() override { qunsetenv("GLINT_REPLICATE_BASE_URL"); }

    static bool waitForCapture(ReplicateWhisperService &service)
    {
        return QTest::qWaitFor(
            [&] { return service.audioRecorder() && service.audioRecorder()->firstSamplesAfterNs() >= 0; });
    }
};

TEST_F(RecordedQuestionTest, SpokenQuestionIsRecordedPrivatelyAndSentAsAnM4aDataURI)
{
    const std::optional<Speech> speech = makeSpeech(dir.path(), u"What is marked on the screen here?"_qs);
    ASSERT_TRUE(speech);
    const QByteArray pollPath = "/v1/predictions/ufawqhfynnddngldkgtslldrkq";
    server.enqueue(FakeModelServer::Response::json(
        201, R"({"id":"ufawqhfynnddngldkgtslldrkq","status":"starting","urls":{"get":")" + server.baseUrl().toUtf8() +
                 pollPath + R"(","cancel":"x"}})"));
    server.enqueue(FakeModelServer::Response::json(
        200, R"({"status":"succeeded","output":{"text":" What is marked here? ","chunks":[]}})"));

    ReplicateWhisperService service(u"r8_test"_qs, u"3ab86df6"_qs);
    service.setPollInterval(10ms);
    service.startRecording();
    ASSERT_TRUE(service.audioFile());
    const QString file = *service.audioFile();
    EXPECT_EQ(QFileInfo(file).dir().path(), qEnvironmentVariable("XDG_RUNTIME_DIR") + u"/glint");
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(QFileInfo(file).path()), 0700u);
    ASSERT_TRUE(waitForCapture(service));
    ASSERT_TRUE(playIntoMicrophone(speech->path));

    std::optional<TranscriptionService::Result> result;
    service.stopAndTranscribe([&](const TranscriptionService::Result &r) { result = r; });
    EXPECT_FALSE(QFile::exists(file)) << "the recording outlived its reading";
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 15000));
    ASSERT_FALSE(result->error) << result->error->errorDescription().toStdString();
    EXPECT_EQ(result->text, u"What is marked here?");

    ASSERT_EQ(server.requests().size(), 2);
    const FakeModelServer::Request &create = server.requests()[0];
    EXPECT_EQ(create.method, "POST");
    EXPECT_EQ(create.path, "/v1/predictions");
    EXPECT_EQ(create.headers.value("authorization"), "Bearer r8_test");
    EXPECT_EQ(create.headers.value("content-type"), "application/json");
    const QJsonObject body = QJsonDocument::fromJson(create.body).object();
    EXPECT_EQ(body["version"].toString(), u"3ab86df6");
    const QJsonObject input = body["input"].toObject();
    EXPECT_EQ(input["task"].toString(), u"transcribe");
    EXPECT_EQ(input["batch_size"].toInt(), 24);
    EXPECT_EQ(input["timestamp"].toString(), u"chunk");
    // Everything played is in it, and not much more (the playback starts once capture runs).
    EXPECT_TRUE(carriesSpokenAudio(create.body, speech->seconds, 4));

    const FakeModelServer::Request &poll = server.requests()[1];
    EXPECT_EQ(poll.method, "GET");
    EXPECT_EQ(poll.path, pollPath);
    EXPECT_EQ(poll.headers.value("authorization"), "Bearer r8_test");
}

// A dead sound server, and a microphone lost while recording: a clear message, nothing left on disk.
TEST_F(RecordedQuestionTest, MicrophoneFailuresAreReportedAndLeaveNoRecording)
{
    {
        qputenv("PULSE_SERVER", QFile::encodeName(dir.filePath(u"no-server"_qs)));
        ReplicateWhisperService service(u"r8_test"_qs, u"v"_qs);
        QSignalSpy failed(&service, &TranscriptionService::recordingFailed);
        service.startRecording();
        qunsetenv("PULSE_SERVER");
        ASSERT_TRUE(failed.wait(10000));
        EXPECT_TRUE(failed[0][0].toString().startsWith(u"No sound server: ")) << failed[0][0].toString().toStdString();
        EXPECT_FALSE(service.audioFile());
    }

    // A microphone that goes away while recording (as when unplugged), from a source of its own.
    const QString previous = pactl({u"get-default-source"_qs});
    const QString module = pactl({u"load-module"_qs, u"module-remap-source"_qs, u"source_name=glint_unplugged"_qs,
                                  u"master=glint_speaker.monitor"_qs});
    ASSERT_FALSE(module.isEmpty());
    pactl({u"set-default-source"_qs, u"glint_unplugged"_qs});
    ReplicateWhisperService service(u"r8_test"_qs, u"v"_qs);
    QSignalSpy failed(&service, &TranscriptionService::recordingFailed);
    service.startRecording();
    const QString file = service.audioFile().value_or(QString());
    const bool captured = waitForCapture(service);
    pactl({u"unload-module"_qs, module});
    pactl({u"set-default-source"_qs, previous});
    ASSERT_TRUE(captured);
    ASSERT_TRUE(failed.wait(10000));
    EXPECT_TRUE(failed[0][0].toString().startsWith(u"The microphone stopped")) << failed[0][0].toString().toStdString();
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(server.requests().size(), 0);
}

TEST(MicrophoneProbeTest, AMicrophoneIsACaptureSourceOfAServer)
{
    EXPECT_EQ(MicrophoneProbe::askServer(), true); // the session's virtual microphone
    qputenv("PULSE_SERVER", "unix:/nonexistent/glint-no-server");
    EXPECT_EQ(MicrophoneProbe::askServer(), false);
    qunsetenv("PULSE_SERVER");
}

} // namespace
