#include "voice/TranscriptionChoice.h"

#include "settings/SettingsManager.h"
#include "support/MemorySecrets.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

// Which service answers a spoken question, for every setting and what the user has set up.

namespace {

using Service = TranscriptionChoice::Service;

struct Situation {
    const char *setting;
    QStringList keys; // accounts with a key
    QString server;   // compatibleBaseURL
    QString model;    // compatibleTranscriptionModel
    Service expected;
    const char *missing = "";
};

const QString replicate = SettingsManager::replicateKeyAccount;
const QString openAI = SettingsManager::openAIKeyAccount;
const QString local = u"http://localhost:8000/v1"_qs;

const Situation situations[] = {
    // Automatic: whoever has a Replicate token keeps it, then OpenAI, then the server with a model.
    {"automatic", {replicate, openAI}, local, u"whisper-1"_qs, Service::Replicate},
    {"automatic", {openAI}, local, u"whisper-1"_qs, Service::OpenAI},
    {"automatic", {}, local, u"whisper-1"_qs, Service::Compatible},
    {"automatic",
     {SettingsManager::anthropicKeyAccount},
     local,
     u" "_qs,
     Service::None,
     "For voice, add an OpenAI key, a Replicate token or a server model in Settings."},
    {"automatic",
     {},
     {},
     u"whisper-1"_qs,
     Service::None,
     "For voice, add an OpenAI key, a Replicate token or a server model in Settings."},
    // A chosen service is used only when it can answer, never another in its place.
    {"replicate", {replicate}, {}, {}, Service::Replicate},
    {"replicate", {openAI}, local, u"whisper-1"_qs, Service::None, "For voice, add a Replicate token in Settings."},
    {"openai", {replicate, openAI}, {}, {}, Service::OpenAI},
    {"openai", {replicate}, {}, {}, Service::None, "For voice, add an OpenAI key in Settings."},
    {"compatible", {replicate, openAI}, local, u"whisper-1"_qs, Service::Compatible},
    {"compatible",
     {openAI},
     u" "_qs,
     u"whisper-1"_qs,
     Service::None,
     "For voice, add your server's address in Settings."},
    {"compatible", {openAI}, local, {}, Service::None, "For voice, add your server's transcription model in Settings."},
};

TEST(TranscriptionChoice, DecidesFromTheSettingAndWhatIsSetUp)
{
    for (const Situation &situation : situations) {
        QTemporaryDir dir;
        SettingsManager settings(dir.filePath(u"glint.conf"_qs), std::make_unique<MemorySecrets>());
        settings.setCompatibleBaseURL(situation.server);
        settings.setCompatibleTranscriptionModel(situation.model);
        const TranscriptionChoice choice =
            TranscriptionChoice::decide(QString::fromLatin1(situation.setting), settings,
                                        [&](const QString &account) { return situation.keys.contains(account); });
        const std::string name = std::string(situation.setting) + " with " + situation.keys.join(u',').toStdString();
        EXPECT_EQ(choice.service, situation.expected) << name;
        EXPECT_EQ(choice.missing, QString::fromUtf8(situation.missing)) << name;
    }
}

} // namespace
