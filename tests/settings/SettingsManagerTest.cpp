#include "settings/SettingsManager.h"
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
    void write(const QString &, const QString &) override {}
};

// A preferences file in a private directory, written as raw INI text so tests control exactly what is stored.
class SettingsFile {
public:
    QString path() const { return dir_.filePath(QStringLiteral("glint/glint.conf")); }

    void write(const QByteArray &ini) const
    {
        QDir().mkpath(dir_.filePath(QStringLiteral("glint")));
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

TEST(SettingsManager, FirstLaunchGivesTheDefaultsAndWritesBackOnlyTheMigratedKeys)
{
    SettingsFile file;
    auto s = file.load();
    EXPECT_EQ(s->selectedProvider(), QStringLiteral("anthropic"));
    EXPECT_EQ(s->anthropicModel(), QStringLiteral("claude-sonnet-4-6"));
    EXPECT_EQ(s->openAIModel(), QStringLiteral("gpt-5.4-mini"));
    EXPECT_EQ(s->systemPrompt(), QStringLiteral("Shorter answers are generally better than longer."));
    EXPECT_EQ(s->replicateModelVersion(),
              QStringLiteral("3ab86df6c8f54c11309d4d1f930ac292bad43ace52d10c80d87eb258b3c9f79c"));
    EXPECT_EQ(s->submitMode(), SubmitMode::SingleStroke);
    EXPECT_EQ(s->hotkeyKeyCode(), 49);
    EXPECT_EQ(s->hotkeyModifiers(), 786432);
    EXPECT_EQ(s->quickDrawModifiers(), 1572864);
    EXPECT_TRUE(s->quickDrawMiddleMouseEnabled());
    EXPECT_FALSE(s->hasCompletedOnboarding());
    EXPECT_EQ(s->settingsSelectedTab(), 0);

    EXPECT_EQ(file.stored(QStringLiteral("openAIModel")).toString(), QStringLiteral("gpt-5.4-mini"));
    EXPECT_TRUE(file.has(QStringLiteral("replicateModelVersion")));
    for (const char *key :
         {"selectedProvider", "anthropicModel", "systemPrompt", "submitMode", "hotkeyKeyCode", "hotkeyModifiers",
          "quickDrawModifiers", "quickDrawMiddleMouseEnabled", "hasCompletedOnboarding", "cmdMiddleClickEnabled"})
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
    EXPECT_EQ(s->openAIModel(), QStringLiteral("gpt-5.4-mini"));
    EXPECT_EQ(file.stored(QStringLiteral("openAIModel")).toString(), QStringLiteral("gpt-5.4-mini"));
    EXPECT_EQ(s->replicateModelVersion(), SettingsManager::defaultReplicateModelVersion);
    EXPECT_EQ(file.stored(QStringLiteral("replicateModelVersion")).toString(),
              SettingsManager::defaultReplicateModelVersion);
    EXPECT_EQ(s->systemPrompt(), QStringLiteral("Shorter answers are generally better than longer."));
    EXPECT_NE(file.stored(QStringLiteral("systemPrompt")).toString(), s->systemPrompt()) << "not written back";

    // A multi-line former prompt, stored through the settings API so its line breaks survive.
    SettingsFile second;
    {
        QSettings raw(second.path(), QSettings::IniFormat);
        raw.setValue(
            QStringLiteral("systemPrompt"),
            QStringLiteral("You are given an annotated screenshot of the user's screen. They are asking a "
                           "contextual question.\n\nQuestion: {{input}}\n\nBe brief when answering. Do not tell "
                           "users about the context that was given to you, that a spot was highlighted. They "
                           "already know. Just directly answer the question. Shorter answers are generally "
                           "better than longer ones."));
        raw.setValue(QStringLiteral("openAIModel"), QStringLiteral("gpt-5.4-nano"));
        raw.setValue(QStringLiteral("replicateModelVersion"), QStringLiteral("custom-version"));
    }
    auto t = second.load();
    EXPECT_EQ(t->systemPrompt(), SettingsManager::defaultSystemPrompt);
    EXPECT_EQ(t->openAIModel(), QStringLiteral("gpt-5.4-nano"));
    EXPECT_EQ(t->replicateModelVersion(), QStringLiteral("custom-version"));
}

TEST(SettingsManager, EmptyAndBlankValues)
{
    SettingsFile file;
    file.write("systemPrompt=\nreplicateModelVersion=\nopenAIModel=\n");
    auto s = file.load();
    EXPECT_EQ(s->systemPrompt(), QString()) << "an empty prompt is the user's choice";
    EXPECT_EQ(s->effectiveSystemPrompt(), SettingsManager::builtInSystemPrompt);
    EXPECT_EQ(s->replicateModelVersion(), SettingsManager::defaultReplicateModelVersion);
    EXPECT_EQ(s->openAIModel(), QStringLiteral("gpt-5.4-mini"));

    s->setSystemPrompt(QStringLiteral(" \n\t \n"));
    EXPECT_EQ(s->effectiveSystemPrompt(), SettingsManager::builtInSystemPrompt);
    s->setSystemPrompt(QStringLiteral("  Use metric units.\n"));
    EXPECT_EQ(s->effectiveSystemPrompt(),
              SettingsManager::builtInSystemPrompt + QStringLiteral("\n\nUse metric units."));
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
               "selectedProvider=\"a, b\"\n");
    auto s = file.load();
    EXPECT_EQ(s->submitMode(), SubmitMode::SingleStroke);
    EXPECT_EQ(s->hotkeyKeyCode(), 49);
    EXPECT_EQ(s->hotkeyModifiers(), 786432);
    EXPECT_EQ(s->quickDrawModifiers(), 0) << "not an integer: the older boolean decides";
    EXPECT_TRUE(s->quickDrawMiddleMouseEnabled());
    EXPECT_TRUE(s->hasCompletedOnboarding());
    EXPECT_EQ(s->selectedProvider(), QStringLiteral("a, b"));
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
            EXPECT_TRUE(file.has(QStringLiteral("cmdMiddleClickEnabled"))) << "the older key is only ever read";
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
        s->setSelectedProvider(QStringLiteral("openai"));
        s->setAnthropicModel(QStringLiteral("claude-x"));
        s->setSystemPrompt(QStringLiteral("Line one\nline two, with a comma = and \"quotes\""));
        s->setSubmitMode(SubmitMode::ManualSubmit);
        s->setHotkeyKeyCode(40);
        s->setHotkeyModifiers(262144);
        s->setQuickDrawModifiers(0);
        s->setQuickDrawMiddleMouseEnabled(false);
        s->setHasCompletedOnboarding(true);
        s->setSettingsSelectedTab(1);
        EXPECT_EQ(spy.count(), 1);
    }
    EXPECT_EQ(file.stored(QStringLiteral("submitMode")).toString(), QStringLiteral("manualSubmit"));
    EXPECT_FALSE(file.has(QStringLiteral("settingsSelectedTab")));
    auto s = file.load();
    EXPECT_EQ(s->selectedProvider(), QStringLiteral("openai"));
    EXPECT_EQ(s->anthropicModel(), QStringLiteral("claude-x"));
    EXPECT_EQ(s->systemPrompt(), QStringLiteral("Line one\nline two, with a comma = and \"quotes\""));
    EXPECT_EQ(s->submitMode(), SubmitMode::ManualSubmit);
    EXPECT_EQ(s->hotkeyKeyCode(), 40);
    EXPECT_EQ(s->hotkeyModifiers(), 262144);
    EXPECT_EQ(s->quickDrawModifiers(), 0);
    EXPECT_FALSE(s->quickDrawMiddleMouseEnabled());
    EXPECT_TRUE(s->hasCompletedOnboarding());
    EXPECT_EQ(s->settingsSelectedTab(), 0);
}

TEST(SettingsManager, AnUnreadableFileIsReportedAndNeverOverwritten)
{
    SettingsFile file;
    file.write("selectedProvider=openai\n");
    // Root reads every file, so a directory in the file's place stands in for an unreadable one there.
    const bool root = ::geteuid() == 0;
    const QString path = root ? file.path() + QStringLiteral(".d") : file.path();
    if (root)
        QDir().mkpath(path);
    else
        QFile::setPermissions(path, QFile::WriteOwner);

    LogRecorder log;
    SettingsManager s(path, std::make_unique<NoSecrets>());
    EXPECT_FALSE(s.isPersistent());
    EXPECT_EQ(log.messages(QStringLiteral("App")).filter(QStringLiteral("Preferences file unreadable")).size(), 1);
    s.setAnthropicModel(QStringLiteral("x"));
    EXPECT_EQ(s.anthropicModel(), QStringLiteral("x")) << "changes still apply for this run";

    QFile::setPermissions(file.path(), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(file.stored(QStringLiteral("selectedProvider")).toString(), QStringLiteral("openai"));
    EXPECT_FALSE(file.has(QStringLiteral("anthropicModel")));
    EXPECT_FALSE(file.has(QStringLiteral("openAIModel"))) << "no write-back into a file we could not read";
}

TEST(SubmitMode, RawValuesAreCaseSensitive)
{
    EXPECT_EQ(submitModeFromRawValue(QStringLiteral("singleStroke")), SubmitMode::SingleStroke);
    EXPECT_FALSE(submitModeFromRawValue(QStringLiteral("SingleStroke")).has_value());
}
