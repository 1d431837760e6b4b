#include "voice/VoiceModule.h"
#include "support/LogRecorder.h"
#include "voice/MicrophoneProbe.h"
#include "voice/ReplicateWhisperService.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

// This program runs with GLINT_VOICE_MODULE naming a file that does not exist, as when the module was
// not installed: voice fails the way a dead microphone does, and nothing crashes.

namespace {

QString qtCoreLibrary() // a library, but not the voice module
{
    Dl_info info{};
    dladdr(reinterpret_cast<void *>(&qVersion), &info);
    return QString::fromLocal8Bit(info.dli_fname);
}

TEST(VoiceModuleTest, OnlyTheBuiltModuleOffersABackend)
{
    QTemporaryDir dir;
    const QString text = dir.filePath(u"text.so"_qs);
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("not a library") > 0);
    file.close();
    struct Case {
        QString path;
        bool offers;
        QString errorHas;
    };
    const Case cases[] = {
        {QStringLiteral(GLINT_VOICE_MODULE_PATH), true, {}},
        {dir.filePath(u"absent.so"_qs), false, u"absent.so"_qs},
        {text, false, u"text.so"_qs},
        {qtCoreLibrary(), false, u"offers no voice backend"_qs},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        VoiceModule module(c.path);
        for (int call = 0; call < 2; ++call) { // the second answers as the first did
            QString error;
            const VoiceBackend *backend = module.backend(error);
            ASSERT_EQ(backend != nullptr, c.offers) << error.toStdString();
            if (backend) {
                EXPECT_TRUE(backend->makeMicrophone() && backend->makeWriter());
            } else {
                EXPECT_TRUE(error.startsWith(u"Cannot record: ")) << error.toStdString();
                EXPECT_TRUE(error.contains(c.errorHas)) << error.toStdString();
            }
        }
    }
}

TEST(VoiceModuleTest, WithoutTheModuleRecordingFailsLikeADeadMicrophone)
{
    LogRecorder log;
    ReplicateWhisperService service(u"k"_qs, u"v"_qs);
    QSignalSpy failed(&service, &TranscriptionService::recordingFailed);
    service.startRecording();
    ASSERT_EQ(failed.size(), 1);
    const QString message = failed[0][0].toString();
    EXPECT_TRUE(message.startsWith(u"Cannot record: ")) << message.toStdString();
    EXPECT_FALSE(service.audioFile());
    EXPECT_TRUE(log.contains(u"Replicate"_qs, u"Failed to start recording error=" + message));
    EXPECT_EQ(MicrophoneProbe::askServer(), false);

    const QStringList voice = log.messages(u"Voice"_qs);
    ASSERT_EQ(voice.size(), 1) << "the failure is logged once";
    EXPECT_TRUE(voice[0].startsWith(u"Voice module unavailable, nothing can be recorded: ")) << voice[0].toStdString();
}

} // namespace
