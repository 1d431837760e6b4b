#include "settings/SettingsManager.h"
#include "providers/LLMEndpoint.h"
#include "support/LogRecorder.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct NoSecrets : SecretStore {
    StoredSecret read(const QString &) const override { return {}; }
    QString write(const QString &, const QString &, const std::function<void()> &) override { return {}; }
};

// A preferences file in a private directory, written as raw INI text so tests control exactly what is stored.
class SettingsFile {
public:
    QString path() const { return dir_.filePath(u"glint/glint.conf"_qs); }

    void write(const QByteArray &ini) const
    {
        QDir().mkpath(dir_.filePath(u"glint"_qs));
        QFile file(path());
        file.open(QIODevice::WriteOnly);
        file.write("[General]\n" + ini);
    }

    std::unique_ptr<SettingsManager> load() const
    {
        return std::make_unique<SettingsManager>(path(), std::make_unique<NoSecrets>());
    }

    QVariant stored(const QString &key) const { return QSettings(path(), QSettings::IniFormat).value(key); }
    bool has(const QString &key) const { return QSettings(path(), QSettings::IniFormat).contains(key); }

private:
    QTemporaryDir dir_;
};

} // namespace

TEST(SettingsManager, FirstLaunchWritesBackOnlyTheMigratedKeys)
{
    SettingsFile file;
    auto s = file.load();
    EXPECT_EQ(file.stored(u"openAIModel"_qs).toString(), u"gpt-5.4-mini"_qs);
    EXPECT_TRUE(file.has(u"replicateModelVersion"_qs));
    for (const char *key : {"selectedProvider", "anthropicModel", "systemPrompt", "submitMode", "hotkeyKeyCode",
                            "hotkeyModifiers", "quickDrawModifiers", "quickDrawMiddleMouseEnabled",
                            "hasCompletedOnboarding", "cmdMiddleClickEnabled", "transcriptionService"})
        EXPECT_FALSE(file.has(QString::fromLatin1(key))) << key;
}

TEST(SettingsManager, MigratesRetiredModelsVersionsAndPrompts)
{
    SettingsFile file;
    file.write("openAIModel=gpt-4o\n"
               "replicateModelVersion=8099696689d249cf8b122d833c36ac3f75505c666a395ca40ef26f68e7d3d16e\n"
               "systemPrompt=You are a helpful visual assistant. The user has annotated a screenshot to highlight "
               "something specific. Answer concisely and clearly.\n");
    auto s = file.load();
    EXPECT_EQ(s->openAIModel(), u"gpt-5.4-mini"_qs);
    EXPECT_EQ(file.stored(u"openAIModel"_qs).toString(), u"gpt-5.4-mini"_qs);
    EXPECT_EQ(s->replicateModelVersion(), SettingsManager::defaultReplicateModelVersion);
    EXPECT_EQ(file.stored(u"replicateModelVersion"_qs).toString(), SettingsManager::defaultReplicateModelVersion);
    EXPECT_EQ(s->systemPrompt(), u"Shorter answers are generally better than longer."_qs);
    EXPECT_NE(file.stored(u"systemPrompt"_qs).toString(), s->systemPrompt()) << "not written back";

    // A multi-line former prompt, stored through the settings API so its line breaks survive.
    SettingsFile second;
    {
        QSettings raw(second.path(), QSettings::IniFormat);
        raw.setValue(
            u"systemPrompt"_qs,
            QStringLiteral("You are given an annotated screenshot of the user's screen. They are asking a "
                           "contextual question.\n\nQuestion: {{input}}\n\nBe brief when answering. Do not tell "
                           "users about the context that was given to you, that a spot was highlighted. They "
                           "already know. Just directly answer the question. Shorter answers are generally "
                           "better than longer ones."));
        raw.setValue(u"openAIModel"_qs, u"gpt-5.4-nano"_qs);
        raw.setValue(u"replicateModelVersion"_qs, u"custom-version"_qs);
    }
    auto t = second.load();
    EXPECT_EQ(t->systemPrompt(), SettingsManager::defaultSystemPrompt);
    EXPECT_EQ(t->openAIModel(), u"gpt-5.4-nano"_qs);
    EXPECT_EQ(t->replicateModelVersion(), u"custom-version"_qs);
}

TEST(SettingsManager, EmptyAndBlankValues)
{
    SettingsFile file;
    file.write("systemPrompt=\nreplicateModelVersion=\nopenAIModel=\n");
    auto s = file.load();
    EXPECT_EQ(s->systemPrompt(), QString()) << "an empty prompt is the user's choice";
    EXPECT_EQ(s->effectiveSystemPrompt(), SettingsManager::builtInSystemPrompt);
    EXPECT_EQ(s->replicateModelVersion(), SettingsManager::defaultReplicateModelVersion);
    EXPECT_EQ(s->openAIModel(), u"gpt-5.4-mini"_qs);

    s->setSystemPrompt(u" \n\t \n"_qs);
    EXPECT_EQ(s->effectiveSystemPrompt(), SettingsManager::builtInSystemPrompt);
    s->setSystemPrompt(u"  Use metric units.\n"_qs);
    EXPECT_EQ(s->effectiveSystemPrompt(), SettingsManager::builtInSystemPrompt + u"\n\nUse metric units."_qs);
}

TEST(SettingsManager, WronglyTypedValuesFallBack)
{
    SettingsFile file;
    file.write("submitMode=sometimes\n"
               "hotkeyKeyCode=space\n"
               "hotkeyModifiers=12.5\n"
               "quickDrawModifiers=lots\n"
               "cmdMiddleClickEnabled=false\n"
               "quickDrawMiddleMouseEnabled=maybe\n"
               "hasCompletedOnboarding=1\n"
               "selectedProvider=\"a, b\"\n"
               "transcriptionService=whisper-cpp\n");
    auto s = file.load();
    EXPECT_EQ(s->submitMode(), SubmitMode::SingleStroke);
    EXPECT_EQ(s->hotkeyKeyCode(), 49);
    EXPECT_EQ(s->hotkeyModifiers(), 786432);
    EXPECT_EQ(s->quickDrawModifiers(), 0) << "not an integer: the older boolean decides";
    EXPECT_TRUE(s->quickDrawMiddleMouseEnabled());
    EXPECT_TRUE(s->hasCompletedOnboarding());
    EXPECT_EQ(s->selectedProvider(), u"a, b"_qs);
    EXPECT_EQ(s->transcriptionService(), u"automatic"_qs) << "a service this version does not know";
}

TEST(SettingsManager, QuickDrawMaskAndTheOlderBoolean)
{
    const std::pair<QByteArray, int> cases[] = {
        {"", 1572864},
        {"cmdMiddleClickEnabled=true\n", 1572864},
        {"cmdMiddleClickEnabled=false\n", 0},
        {"cmdMiddleClickEnabled=false\nquickDrawModifiers=524288\n", 524288},
        {"quickDrawModifiers=0\n", 0},
    };
    for (const auto &[ini, expected] : cases) {
        SettingsFile file;
        file.write(ini);
        EXPECT_EQ(file.load()->quickDrawModifiers(), expected) << ini.constData();
        if (ini.contains("cmdMiddleClickEnabled")) {
            EXPECT_TRUE(file.has(u"cmdMiddleClickEnabled"_qs)) << "the older key is only ever read";
        }
    }
    SettingsFile file;
    file.write("submitMode=manualSubmit\nhotkeyKeyCode=40\nhotkeyModifiers=786432\n");
    auto s = file.load();
    EXPECT_EQ(s->submitMode(), SubmitMode::ManualSubmit);
    EXPECT_EQ(s->hotkeyKeyCode(), 40);
}

TEST(SettingsManager, SettersNotifyAndWriteTypedValuesThatReloadTheSame)
{
    SettingsFile file;
    {
        auto s = file.load();
        QSignalSpy spy(s.get(), &SettingsManager::hotkeyKeyCodeChanged);
        s->setSelectedProvider(u"openai"_qs);
        s->setAnthropicModel(u"claude-x"_qs);
        s->setSystemPrompt(u"Line one\nline two, with a comma = and \"quotes\""_qs);
        s->setSubmitMode(SubmitMode::ManualSubmit);
        s->setHotkeyKeyCode(40);
        s->setHotkeyModifiers(262144);
        s->setQuickDrawModifiers(0);
        s->setQuickDrawMiddleMouseEnabled(false);
        s->setHasCompletedOnboarding(true);
        s->setSettingsSelectedTab(1);
        s->setTranscriptionService(u"compatible"_qs);
        s->setCompatibleTranscriptionModel(u"Systran/faster-whisper-small"_qs);
        s->setTranscriptionLanguage(u"de"_qs);
        EXPECT_EQ(spy.count(), 1);
    }
    EXPECT_EQ(file.stored(u"submitMode"_qs).toString(), u"manualSubmit"_qs);
    EXPECT_FALSE(file.has(u"settingsSelectedTab"_qs));
    auto s = file.load();
    EXPECT_EQ(s->selectedProvider(), u"openai"_qs);
    EXPECT_EQ(s->anthropicModel(), u"claude-x"_qs);
    EXPECT_EQ(s->systemPrompt(), u"Line one\nline two, with a comma = and \"quotes\""_qs);
    EXPECT_EQ(s->submitMode(), SubmitMode::ManualSubmit);
    EXPECT_EQ(s->hotkeyKeyCode(), 40);
    EXPECT_EQ(s->hotkeyModifiers(), 262144);
    EXPECT_EQ(s->quickDrawModifiers(), 0);
    EXPECT_FALSE(s->quickDrawMiddleMouseEnabled());
    EXPECT_TRUE(s->hasCompletedOnboarding());
    EXPECT_EQ(s->settingsSelectedTab(), 0);
    EXPECT_EQ(s->transcriptionService(), u"compatible"_qs);
    EXPECT_EQ(s->compatibleTranscriptionModel(), u"Systran/faster-whisper-small"_qs);
    EXPECT_EQ(s->transcriptionLanguage(), u"de"_qs);
}

// Plain http to a server of the user's own goes only to the server they allowed it for.
TEST(SettingsManager, UnencryptedConnectionsAreAllowedForOneServer)
{
    const QString allowedServer = u"http://gpu-box.lan:8000/v1"_qs;
    const auto sendsTo = [](const SettingsManager &s) {
        return LLMEndpoint::fromSettings(s.compatibleBaseURL(), u"/chat/completions"_qs, s.compatibleAllowUnencrypted())
            .isUsable();
    };
    const struct {
        QByteArray ini; // stored before
        QString url;    // the base URL then entered
        bool allowed;
    } cases[] = {
        {"", allowedServer, true},
        {"", u"http://other-box.lan:8000/v1"_qs, false},
        {"", u"http://gpu-box.lan:8001/v1"_qs, false},
        {"", u"http://gpu-box.lan/v1"_qs, false},
        {"", u" http://GPU-box.lan:8000/v2"_qs, true},
        // Allowed before the server was stored with it: for the one stored then.
        {"compatibleBaseURL=http://gpu-box.lan:8000/v1\ncompatibleAllowUnencrypted=true\n", allowedServer, true},
        {"compatibleBaseURL=http://gpu-box.lan:8000/v1\ncompatibleAllowUnencrypted=true\n",
         u"http://other-box.lan:8000/v1"_qs, false},
        {"compatibleAllowUnencrypted=false\ncompatibleUnencryptedServer=gpu-box.lan:8000\n", allowedServer, false},
    };
    for (const auto &[ini, url, allowed] : cases) {
        SCOPED_TRACE(url.toStdString() + ", stored " + ini.toStdString());
        SettingsFile file;
        file.write(ini);
        {
            auto s = file.load();
            if (ini.isEmpty()) {
                s->setCompatibleBaseURL(allowedServer);
                s->setCompatibleAllowUnencrypted(true);
            }
            const bool before = s->compatibleAllowUnencrypted();
            QSignalSpy changed(s.get(), &SettingsManager::compatibleAllowUnencryptedChanged);
            s->setCompatibleBaseURL(url);
            EXPECT_EQ(s->compatibleAllowUnencrypted(), allowed);
            EXPECT_EQ(sendsTo(*s), allowed);
            EXPECT_EQ(changed.size(), before != allowed ? 1 : 0);
        }
        // The allowance stays with its server across restarts and a detour to another one.
        auto s = file.load();
        EXPECT_EQ(s->compatibleAllowUnencrypted(), allowed);
        s->setCompatibleBaseURL(allowedServer);
        EXPECT_EQ(s->compatibleAllowUnencrypted(), !ini.contains("=false"));
    }
}

TEST(SettingsManager, AnUnreadableFileIsReportedAndNeverOverwritten)
{
    SettingsFile file;
    file.write("selectedProvider=openai\n");
    // Root reads every file, so a directory in the file's place stands in for an unreadable one there.
    const bool root = ::geteuid() == 0;
    const QString path = root ? file.path() + u".d"_qs : file.path();
    if (root)
        QDir().mkpath(path);
    else
        QFile::setPermissions(path, QFile::WriteOwner);

    LogRecorder log;
    SettingsManager s(path, std::make_unique<NoSecrets>());
    EXPECT_FALSE(s.isPersistent());
    EXPECT_EQ(log.messages(u"App"_qs).filter(u"Preferences file unreadable"_qs).size(), 1);
    s.setAnthropicModel(u"x"_qs);
    EXPECT_EQ(s.anthropicModel(), u"x"_qs) << "changes still apply for this run";

    QFile::setPermissions(file.path(), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(file.stored(u"selectedProvider"_qs).toString(), u"openai"_qs);
    EXPECT_FALSE(file.has(u"anthropicModel"_qs));
    EXPECT_FALSE(file.has(u"openAIModel"_qs)) << "no write-back into a file we could not read";
}

TEST(SubmitMode, RawValuesAreCaseSensitive)
{
    EXPECT_EQ(submitModeFromRawValue(u"singleStroke"_qs), SubmitMode::SingleStroke);
    EXPECT_FALSE(submitModeFromRawValue(u"SingleStroke"_qs).has_value());
}
