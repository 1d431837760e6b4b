#include "settings/SettingsManager.h"

#include "log/DebugLog.h"
#include "providers/ModelCatalog.h"

#include <QStandardPaths>
#include <QThreadPool>
#include <QUrl>
#include <QtConcurrent>

namespace {

// Former built-in prompts: a stored copy of one of them means the user never customised it.
const QStringList formerBuiltInPrompts = {
    QStringLiteral("You are a helpful visual assistant. The user has annotated a screenshot to highlight something "
                   "specific. Answer concisely and clearly."),
    QStringLiteral("You are given an annotated screenshot of the user's screen. They are asking a contextual "
                   "question.\n\nQuestion: {{input}}\n\nBe brief when answering. Do not tell users about the context "
                   "that was given to you, that a spot was highlighted. They already know. Just directly answer the "
                   "question. Shorter answers are generally better than longer ones."),
    QStringLiteral("You are given an annotated screenshot of the user's screen. They are asking a contextual "
                   "question.\n\nThere is usually a lot of information on the screen. Do use them to understand the "
                   "context but focus on the region highlighted in red, this is what the user has put an emphasis "
                   "on.\n\nThe highlight might not fully cover the elements that are relevant to the task. Consider "
                   "it a focal point, not an exact mask.\n\nQuestion: {{input}}\n\nBe brief when answering. Do not "
                   "tell users about the context that was given to you, that a spot was highlighted. They already "
                   "know. Just directly answer the question. Shorter answers are generally better than longer ones."),
};

const QStringList retiredReplicateVersions = {
    QStringLiteral("4d50797290df275329f202e48c76360b3f22b08d2008d9515f1c718f2982c5c5"),
    QStringLiteral("8099696689d249cf8b122d833c36ac3f75505c666a395ca40ef26f68e7d3d16e"),
};

// One call at a time, so a read made after a write sees it. Never destroyed: destroying a pool waits
// for its calls, and the keychain bounds each call but a queue of them could still hold up the exit.
QThreadPool &keychainThread()
{
    static QThreadPool &pool = []() -> QThreadPool & {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(1);
        return *created;
    }();
    return pool;
}

// The server a base URL names, as "host:port"; empty when it names none.
QString serverOf(const QString &baseURL)
{
    const QUrl url(baseURL.trimmed(), QUrl::StrictMode);
    if (url.host().isEmpty())
        return {};
    return url.host() + u':' + QString::number(url.port(url.scheme().toLower() == u"https" ? 443 : 80));
}

const QString defaultProvider = QStringLiteral("anthropic");
const QString defaultAnthropicModel = QStringLiteral("claude-sonnet-4-6");
const QString defaultOpenAIModel = QStringLiteral("gpt-5.4-mini");

} // namespace

const QString SettingsManager::builtInSystemPrompt = QStringLiteral(
    "You are given an annotated screenshot of the user's screen. The screenshot contains a red marked area, that is "
    "where you should place your focus on in order to answer the question. You must not mention the screen capture "
    "directly to users. If needed just refer to 'the screen'. That's less technical and contains enough information. "
    "You should almost never have to do it. Focus on answering the question asked. All the contextual input is "
    "provided for you to give a good answer.");

const QString SettingsManager::defaultSystemPrompt =
    QStringLiteral("Shorter answers are generally better than longer.");

const QString SettingsManager::defaultReplicateModelVersion =
    QStringLiteral("3ab86df6c8f54c11309d4d1f930ac292bad43ace52d10c80d87eb258b3c9f79c");

QString SettingsManager::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/glint/glint.conf";
}

SettingsManager::SettingsManager(const QString &filePath, std::unique_ptr<SecretStore> secrets, QObject *parent)
    : QObject(parent)
    , file_(filePath, QSettings::IniFormat)
    , secrets_(secrets ? std::move(secrets) : std::make_unique<Keychain>(keychainService))
{
    if (file_.status() != QSettings::NoError) {
        persistent_ = false;
        DebugLog::log(QStringLiteral("App"), u"Preferences file unreadable path=" + filePath +
                                                 u"; using defaults and leaving the file untouched");
    }
    load();
}

SettingsManager::~SettingsManager()
{
    endKeychainCalls();
}

void SettingsManager::endKeychainCalls()
{
    // A call in progress ends in moments; a prompt nobody answers would hold up the exit for good.
    if (!keychainThread().waitForDone(3000))
        secrets_->stopWaiting();
    waitForKeychain();
}

void SettingsManager::waitForKeychain()
{
    keychainThread().waitForDone();
}

QString SettingsManager::migratedOpenAIModel(const QString &stored)
{
    return ModelCatalog::builtInModels(ModelCatalog::openAI).contains(stored) ? stored : defaultOpenAIModel;
}

std::optional<QString> SettingsManager::storedString(const QString &key) const
{
    const QVariant value = file_.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

// The INI format keeps no types: an integer is a value that reads as a whole number.
std::optional<int> SettingsManager::storedInteger(const QString &key) const
{
    const QVariant value = file_.value(key);
    if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong)
        return value.toInt();
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

std::optional<bool> SettingsManager::storedBoolean(const QString &key) const
{
    const QVariant value = file_.value(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == u"true" || text == u"1")
        return true;
    if (text == u"false" || text == u"0")
        return false;
    return std::nullopt;
}

void SettingsManager::load()
{
    selectedProvider_ = storedString(QStringLiteral("selectedProvider")).value_or(defaultProvider);
    anthropicModel_ = storedString(QStringLiteral("anthropicModel")).value_or(defaultAnthropicModel);

    const std::optional<QString> storedOpenAI = storedString(QStringLiteral("openAIModel"));
    openAIModel_ = migratedOpenAIModel(storedOpenAI.value_or(QString()));
    if (storedOpenAI != openAIModel_)
        store(QStringLiteral("openAIModel"), openAIModel_);

    compatibleBaseURL_ = storedString(QStringLiteral("compatibleBaseURL")).value_or(QString());
    compatibleModel_ = storedString(QStringLiteral("compatibleModel")).value_or(QString());
    if (storedBoolean(QStringLiteral("compatibleAllowUnencrypted")).value_or(false)) {
        compatibleUnencryptedServer_ = storedString(QStringLiteral("compatibleUnencryptedServer")).value_or(QString());
        // Allowed before the server was stored with it: the user allowed the one the base URL named then.
        if (compatibleUnencryptedServer_.isEmpty()) {
            compatibleUnencryptedServer_ = serverOf(compatibleBaseURL_);
            storeUnencryptedServer();
        }
    }

    systemPrompt_ = storedString(QStringLiteral("systemPrompt")).value_or(defaultSystemPrompt);
    if (formerBuiltInPrompts.contains(systemPrompt_))
        systemPrompt_ = defaultSystemPrompt;

    const std::optional<QString> storedVersion = storedString(QStringLiteral("replicateModelVersion"));
    replicateModelVersion_ =
        storedVersion && !storedVersion->isEmpty() && !retiredReplicateVersions.contains(*storedVersion)
            ? *storedVersion
            : defaultReplicateModelVersion;
    if (storedVersion != replicateModelVersion_)
        store(QStringLiteral("replicateModelVersion"), replicateModelVersion_);

    // A value this version does not know keeps voice questions working the automatic way.
    transcriptionService_ = storedString(QStringLiteral("transcriptionService")).value_or(QString());
    if (!transcriptionServices.contains(transcriptionService_))
        transcriptionService_ = transcriptionServices.first();
    compatibleTranscriptionModel_ = storedString(QStringLiteral("compatibleTranscriptionModel")).value_or(QString());
    transcriptionLanguage_ = storedString(QStringLiteral("transcriptionLanguage")).value_or(QString());

    submitMode_ = storedString(QStringLiteral("submitMode")) == u"manualSubmit" ? SubmitMode::ManualSubmit
                                                                                : SubmitMode::SingleStroke;
    hotkeyKeyCode_ = storedInteger(QStringLiteral("hotkeyKeyCode")).value_or(defaultHotkeyKeyCode);
    hotkeyModifiers_ = storedInteger(QStringLiteral("hotkeyModifiers")).value_or(defaultHotkeyModifiers);

    // The older boolean only decides while no mask has been stored; it is never written or removed.
    const std::optional<bool> legacyQuickDraw = storedBoolean(QStringLiteral("cmdMiddleClickEnabled"));
    quickDrawModifiers_ = storedInteger(QStringLiteral("quickDrawModifiers"))
                              .value_or(legacyQuickDraw.value_or(true) ? defaultQuickDrawModifiers : 0);

    quickDrawMiddleMouseEnabled_ = storedBoolean(QStringLiteral("quickDrawMiddleMouseEnabled")).value_or(true);
    hasCompletedOnboarding_ = storedBoolean(QStringLiteral("hasCompletedOnboarding")).value_or(false);
    startAtLoginDefaultApplied_ = storedBoolean(QStringLiteral("startAtLoginDefaultApplied")).value_or(false);
}

void SettingsManager::store(const QString &key, const QVariant &value)
{
    if (!persistent_)
        return;
    // QSettings writes the file once control returns to the event loop, so a burst of changes (typing
    // in the guidance editor) costs one write instead of one synced write per keystroke.
    file_.setValue(key, value);
}

void SettingsManager::storeUnencryptedServer()
{
    store(QStringLiteral("compatibleAllowUnencrypted"), !compatibleUnencryptedServer_.isEmpty());
    store(QStringLiteral("compatibleUnencryptedServer"), compatibleUnencryptedServer_);
}

template <typename T, typename Signal>
void SettingsManager::assign(T &field, const T &value, const QString &key, const QVariant &stored, Signal changed)
{
    field = value;
    Q_EMIT(this->*changed)();
    if (!key.isEmpty())
        store(key, stored);
}

void SettingsManager::setSelectedProvider(const QString &v)
{
    assign(selectedProvider_, v, QStringLiteral("selectedProvider"), v, &SettingsManager::selectedProviderChanged);
}
void SettingsManager::setAnthropicModel(const QString &v)
{
    assign(anthropicModel_, v, QStringLiteral("anthropicModel"), v, &SettingsManager::anthropicModelChanged);
}
void SettingsManager::setOpenAIModel(const QString &v)
{
    assign(openAIModel_, v, QStringLiteral("openAIModel"), v, &SettingsManager::openAIModelChanged);
}
bool SettingsManager::compatibleAllowUnencrypted() const
{
    return !compatibleUnencryptedServer_.isEmpty() && compatibleUnencryptedServer_ == serverOf(compatibleBaseURL_);
}

void SettingsManager::setCompatibleBaseURL(const QString &v)
{
    const bool allowed = compatibleAllowUnencrypted();
    assign(compatibleBaseURL_, v, QStringLiteral("compatibleBaseURL"), v, &SettingsManager::compatibleBaseURLChanged);
    if (compatibleAllowUnencrypted() != allowed)
        Q_EMIT compatibleAllowUnencryptedChanged();
}
void SettingsManager::setCompatibleModel(const QString &v)
{
    assign(compatibleModel_, v, QStringLiteral("compatibleModel"), v, &SettingsManager::compatibleModelChanged);
}
void SettingsManager::setCompatibleAllowUnencrypted(bool v)
{
    compatibleUnencryptedServer_ = v ? serverOf(compatibleBaseURL_) : QString();
    storeUnencryptedServer();
    Q_EMIT compatibleAllowUnencryptedChanged();
}
void SettingsManager::setSystemPrompt(const QString &v)
{
    assign(systemPrompt_, v, QStringLiteral("systemPrompt"), v, &SettingsManager::systemPromptChanged);
}
void SettingsManager::setReplicateModelVersion(const QString &v)
{
    assign(replicateModelVersion_, v, QStringLiteral("replicateModelVersion"), v,
           &SettingsManager::replicateModelVersionChanged);
}
void SettingsManager::setTranscriptionService(const QString &v)
{
    const QString known = transcriptionServices.contains(v) ? v : transcriptionServices.first();
    assign(transcriptionService_, known, QStringLiteral("transcriptionService"), known,
           &SettingsManager::transcriptionServiceChanged);
}
void SettingsManager::setCompatibleTranscriptionModel(const QString &v)
{
    assign(compatibleTranscriptionModel_, v, QStringLiteral("compatibleTranscriptionModel"), v,
           &SettingsManager::compatibleTranscriptionModelChanged);
}
void SettingsManager::setTranscriptionLanguage(const QString &v)
{
    assign(transcriptionLanguage_, v, QStringLiteral("transcriptionLanguage"), v,
           &SettingsManager::transcriptionLanguageChanged);
}
void SettingsManager::setSubmitMode(SubmitMode v)
{
    assign(submitMode_, v, QStringLiteral("submitMode"), rawValue(v), &SettingsManager::submitModeChanged);
}
void SettingsManager::setHotkeyKeyCode(int v)
{
    assign(hotkeyKeyCode_, v, QStringLiteral("hotkeyKeyCode"), v, &SettingsManager::hotkeyKeyCodeChanged);
}
void SettingsManager::setHotkeyModifiers(int v)
{
    assign(hotkeyModifiers_, v, QStringLiteral("hotkeyModifiers"), v, &SettingsManager::hotkeyModifiersChanged);
}
void SettingsManager::setQuickDrawModifiers(int v)
{
    assign(quickDrawModifiers_, v, QStringLiteral("quickDrawModifiers"), v,
           &SettingsManager::quickDrawModifiersChanged);
}
void SettingsManager::setQuickDrawMiddleMouseEnabled(bool v)
{
    assign(quickDrawMiddleMouseEnabled_, v, QStringLiteral("quickDrawMiddleMouseEnabled"), v,
           &SettingsManager::quickDrawMiddleMouseEnabledChanged);
}
void SettingsManager::setHasCompletedOnboarding(bool v)
{
    assign(hasCompletedOnboarding_, v, QStringLiteral("hasCompletedOnboarding"), v,
           &SettingsManager::hasCompletedOnboardingChanged);
}
void SettingsManager::setStartAtLoginDefaultApplied(bool v)
{
    assign(startAtLoginDefaultApplied_, v, QStringLiteral("startAtLoginDefaultApplied"), v,
           &SettingsManager::startAtLoginDefaultAppliedChanged);
}
void SettingsManager::setSettingsSelectedTab(int v)
{
    assign(settingsSelectedTab_, v, QString(), {}, &SettingsManager::settingsSelectedTabChanged);
}

QString SettingsManager::effectiveSystemPrompt() const
{
    const QString extra = systemPrompt_.trimmed();
    return extra.isEmpty() ? builtInSystemPrompt : builtInSystemPrompt + u"\n\n" + extra;
}

StoredSecret SettingsManager::keychainRead(const QString &account) const
{
    return keychainReadLater(account).result();
}

QFuture<StoredSecret> SettingsManager::keychainReadLater(const QString &account) const
{
    return QtConcurrent::run(&keychainThread(), [secrets = secrets_, account] { return secrets->read(account); });
}

QFuture<QString> SettingsManager::keychainWrite(const QString &account, const QString &value)
{
    ++keyWrites_[account];
    // The destructor waits for the keychain thread, so this outlives the call.
    const auto waiting = [this, account] {
        QMetaObject::invokeMethod(this, [this, account] { Q_EMIT keychainWaitingForUnlock(account); });
    };
    return QtConcurrent::run(&keychainThread(), [secrets = secrets_, account, value,
                                                 waiting] { return secrets->write(account, value, waiting); })
        .then(this, [this, account, isSet = !value.isEmpty()](const QString &problem) {
            if (problem.isEmpty()) {
                keySet_.insert(account, isSet);
                Q_EMIT apiKeysChanged();
            }
            return problem;
        });
}

void SettingsManager::refreshAPIKeys()
{
    for (const QString &account : {anthropicKeyAccount, openAIKeyAccount, compatibleKeyAccount, replicateKeyAccount}) {
        // A key saved while the read was under way is newer than what the read found.
        keychainReadLater(account).then(this, [this, account,
                                               writes = keyWrites_.value(account)](const StoredSecret &secret) {
            if (!secret.isKnown() || writes != keyWrites_.value(account) || keySet_.value(account) == secret.isSet())
                return;
            keySet_.insert(account, secret.isSet());
            Q_EMIT apiKeysChanged();
        });
    }
}
