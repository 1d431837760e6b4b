#pragma once

#include "settings/Keychain.h"
#include "settings/SubmitMode.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QSettings>
#include <QStringList>

#include <memory>

// Every user preference, loaded once (with the migrations of older stored values) and written back key
// by key on each change. API keys are not preferences: they live in the Secret Service.
class SettingsManager : public QObject {
    Q_OBJECT
public:
    static inline const QString keychainService = QStringLiteral("org.glint.Glint");
    static inline const QString anthropicKeyAccount = QStringLiteral("apiKey.anthropic");
    static inline const QString openAIKeyAccount = QStringLiteral("apiKey.openai");
    static inline const QString replicateKeyAccount = QStringLiteral("apiKey.replicate");
    static inline const QString compatibleKeyAccount = QStringLiteral("apiKey.compatible"); // optional

    static const QString builtInSystemPrompt;
    static const QString defaultSystemPrompt;
    static const QString defaultReplicateModelVersion;
    static inline const QStringList transcriptionServices = {QStringLiteral("automatic"), QStringLiteral("replicate"),
                                                             QStringLiteral("openai"), QStringLiteral("compatible")};
    static constexpr int defaultHotkeyKeyCode = 49;
    static constexpr int defaultHotkeyModifiers = 786432;
    static constexpr int defaultQuickDrawModifiers = 1572864;

    // $XDG_CONFIG_HOME/glint/glint.conf
    static QString defaultFilePath();

    // Keys go to `secrets`, or to the Secret Service when none is given.
    explicit SettingsManager(const QString &filePath = defaultFilePath(), std::unique_ptr<SecretStore> secrets = {},
                             QObject *parent = nullptr);
    ~SettingsManager() override; // waits for keys still being saved, but not on the user for long

    QString selectedProvider() const { return selectedProvider_; }
    QString anthropicModel() const { return anthropicModel_; }
    QString openAIModel() const { return openAIModel_; }
    // A server of the user's own that speaks OpenAI's protocol, for example http://localhost:11434/v1.
    QString compatibleBaseURL() const { return compatibleBaseURL_; }
    QString compatibleModel() const { return compatibleModel_; }
    // Plain http to that server even when it is not this computer: the screenshot crosses the network.
    // The user allows it for one server (host and port); it holds only while the base URL names that one.
    bool compatibleAllowUnencrypted() const;
    QString systemPrompt() const { return systemPrompt_; }
    QString replicateModelVersion() const { return replicateModelVersion_; }
    // Which service turns spoken questions into text: "automatic", "replicate", "openai" or "compatible".
    QString transcriptionService() const { return transcriptionService_; }
    // The model the OpenAI-compatible server transcribes with; empty when it offers none.
    QString compatibleTranscriptionModel() const { return compatibleTranscriptionModel_; }
    // The spoken language as an ISO 639-1 code; empty lets the service decide.
    QString transcriptionLanguage() const { return transcriptionLanguage_; }
    SubmitMode submitMode() const { return submitMode_; }
    int hotkeyKeyCode() const { return hotkeyKeyCode_; }
    int hotkeyModifiers() const { return hotkeyModifiers_; }
    int quickDrawModifiers() const { return quickDrawModifiers_; }
    bool quickDrawMiddleMouseEnabled() const { return quickDrawMiddleMouseEnabled_; }
    bool hasCompletedOnboarding() const { return hasCompletedOnboarding_; }
    // Start at login is turned on once, when set-up is over; afterwards it is the user's choice.
    bool startAtLoginDefaultApplied() const { return startAtLoginDefaultApplied_; }
    int settingsSelectedTab() const { return settingsSelectedTab_; }

    void setSelectedProvider(const QString &value);
    void setAnthropicModel(const QString &value);
    void setOpenAIModel(const QString &value);
    void setCompatibleBaseURL(const QString &value);
    void setCompatibleModel(const QString &value);
    void setCompatibleAllowUnencrypted(bool value);
    void setSystemPrompt(const QString &value);
    void setReplicateModelVersion(const QString &value);
    void setTranscriptionService(const QString &value);
    void setCompatibleTranscriptionModel(const QString &value);
    void setTranscriptionLanguage(const QString &value);
    void setSubmitMode(SubmitMode value);
    void setHotkeyKeyCode(int value);
    void setHotkeyModifiers(int value);
    void setQuickDrawModifiers(int value);
    void setQuickDrawMiddleMouseEnabled(bool value);
    void setHasCompletedOnboarding(bool value);
    void setStartAtLoginDefaultApplied(bool value);
    void setSettingsSelectedTab(int value);

    // The built-in prompt, followed by the user's trimmed guidance after a blank line when there is any.
    QString effectiveSystemPrompt() const;

    // The keychain may block for as long as an unlock prompt stays open, so the application reads and
    // writes keys on a keychain thread, one call after the other in the order they were made.
    QFuture<StoredSecret> keychainReadLater(const QString &account) const;
    // Returns at once; the future says why the key was not stored, empty once it is (and then
    // `apiKeysChanged` has been emitted). `keychainWaitingForUnlock` tells when it waits for the user.
    QFuture<QString> keychainWrite(const QString &account, const QString &value);
    StoredSecret keychainRead(const QString &account) const; // blocks: for the command line

    // Which keys are set, as far as known, for labels and menus that must not wait on the keychain.
    // Refreshed off the main thread; `apiKeysChanged` tells when the answer arrives or a key is saved.
    bool isAPIKeySet(const QString &account) const { return keySet_.value(account, false); }
    void refreshAPIKeys();
    // Blocks until every keychain call made so far has ended, however long an unlock prompt stays open.
    static void waitForKeychain();
    // The same for leaving: after a few seconds a prompt still open is dismissed, and the calls waiting on it fail.
    void endKeychainCalls();

    // False when the preferences file could not be read: changes then stay in memory so the file is
    // never overwritten with defaults.
    bool isPersistent() const { return persistent_; }

    static QString migratedOpenAIModel(const QString &stored);

Q_SIGNALS:
    void selectedProviderChanged();
    void anthropicModelChanged();
    void openAIModelChanged();
    void compatibleBaseURLChanged();
    void compatibleModelChanged();
    void compatibleAllowUnencryptedChanged();
    void systemPromptChanged();
    void replicateModelVersionChanged();
    void transcriptionServiceChanged();
    void compatibleTranscriptionModelChanged();
    void transcriptionLanguageChanged();
    void submitModeChanged();
    void hotkeyKeyCodeChanged();
    void hotkeyModifiersChanged();
    void quickDrawModifiersChanged();
    void quickDrawMiddleMouseEnabledChanged();
    void hasCompletedOnboardingChanged();
    void startAtLoginDefaultAppliedChanged();
    void settingsSelectedTabChanged();
    void apiKeysChanged();
    void keychainWaitingForUnlock(const QString &account);

private:
    void load();
    void store(const QString &key, const QVariant &value);
    void storeUnencryptedServer();
    template <typename T, typename Signal>
    void assign(T &field, const T &value, const QString &key, const QVariant &stored, Signal changed);

    std::optional<QString> storedString(const QString &key) const;
    std::optional<int> storedInteger(const QString &key) const;
    std::optional<bool> storedBoolean(const QString &key) const;

    QSettings file_;
    std::shared_ptr<SecretStore> secrets_; // shared with the keychain thread's pending calls
    QHash<QString, bool> keySet_;
    QHash<QString, int> keyWrites_; // per account, to tell a stale read from a fresh one
    bool persistent_ = true;

    QString selectedProvider_;
    QString anthropicModel_;
    QString openAIModel_;
    QString compatibleBaseURL_;
    QString compatibleModel_;
    QString compatibleUnencryptedServer_; // "host:port" plain http is allowed to; empty when none
    QString systemPrompt_;
    QString replicateModelVersion_;
    QString transcriptionService_;
    QString compatibleTranscriptionModel_;
    QString transcriptionLanguage_;
    SubmitMode submitMode_ = SubmitMode::SingleStroke;
    int hotkeyKeyCode_ = defaultHotkeyKeyCode;
    int hotkeyModifiers_ = defaultHotkeyModifiers;
    int quickDrawModifiers_ = defaultQuickDrawModifiers;
    bool quickDrawMiddleMouseEnabled_ = true;
    bool hasCompletedOnboarding_ = false;
    bool startAtLoginDefaultApplied_ = false;
    int settingsSelectedTab_ = 0;
};
