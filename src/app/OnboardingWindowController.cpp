#include "app/OnboardingWindowController.h"

#include "app/OnboardingStepContentView.h"
#include "app/PermissionChecker.h"
#include "app/SettingsView.h"
#include "log/DebugLog.h"
#include "settings/SettingsManager.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
const QColor completeColor(0x2d, 0xa4, 0x4e);

// The window has no close button, and the window manager's close is refused as well. The application's
// own closes (quitting, on a signal too) go through: refusing those would keep it from quitting.
struct IgnoreClose : QObject {
    using QObject::QObject;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Close || !event->spontaneous())
            return false;
        event->ignore();
        return true;
    }
};

QString name(const OnboardingStep &step)
{
    switch (step.kind) {
    case OnboardingStep::Kind::Welcome:
        return QStringLiteral("welcome");
    case OnboardingStep::Kind::Permission:
        return MissingPermissions::rawValue(step.permission);
    case OnboardingStep::Kind::APIKey:
        return QStringLiteral("apiKey");
    case OnboardingStep::Kind::Complete:
        return QStringLiteral("complete");
    }
    return {};
}

QString accountFor(const QString &providerId)
{
    return providerId == u"openai" ? SettingsManager::openAIKeyAccount : SettingsManager::anthropicKeyAccount;
}
} // namespace

OnboardingWindowController::OnboardingWindowController(QList<OnboardingStep> steps,
                                                       const PermissionChecker &permissions, SettingsManager &settings,
                                                       std::function<void()> onComplete, QObject *parent)
    : QObject(parent)
    , steps_(std::move(steps))
    , onComplete_(std::move(onComplete))
    , permissions_(permissions)
    , settings_(settings)
    , window_(
          new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint))
{
    window_->setWindowTitle(tr("Glint — Setup"));
    window_->setFixedSize(480, 340);
    auto *filter = new IgnoreClose(window_);
    window_->installEventFilter(filter);
    pollTimer_.setInterval(pollIntervalMs);
    connect(&pollTimer_, &QTimer::timeout, this, &OnboardingWindowController::checkCurrentPermission);
    // Whether a key is stored already is known once the keyring has answered.
    connect(&settings_, &SettingsManager::apiKeysChanged, this, [this] {
        if (steps_.value(currentIndex_) == OnboardingStep::apiKey())
            configure(OnboardingStep::apiKey());
    });
    settings_.refreshAPIKeys();
    connect(&tester_, &APIKeyTester::finished, this, [this](bool works, const QString &message) {
        contentView_->testButton()->setEnabled(true);
        contentView_->testResult()->setText((works ? u"✔ " : u"✘ ") + message);
    });
    showCurrentStep();
}

OnboardingWindowController::~OnboardingWindowController()
{
    delete window_;
}

QList<OnboardingStep> OnboardingWindowController::stepsFor(const QList<MissingPermission> &missing)
{
    QList<OnboardingStep> steps{OnboardingStep::welcome()};
    for (MissingPermission permission : missing)
        steps << OnboardingStep::missing(permission);
    return steps << OnboardingStep::apiKey() << OnboardingStep::complete();
}

void OnboardingWindowController::show()
{
    if (!window_)
        return;
    if (!window_->isVisible() && window_->screen())
        window_->move(window_->screen()->availableGeometry().center() - window_->rect().center());
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool OnboardingWindowController::isVisible() const
{
    return window_ && window_->isVisible();
}

void OnboardingWindowController::close()
{
    pollTimer_.stop();
    if (window_)
        window_->hide();
}

void OnboardingWindowController::updatePermissions(const QList<MissingPermission> &missing)
{
    const bool hasWelcome = !steps_.isEmpty() && steps_.first() == OnboardingStep::welcome();
    const bool hasComplete = !steps_.isEmpty() && steps_.last() == OnboardingStep::complete();
    const bool hasKey = steps_.contains(OnboardingStep::apiKey());

    QList<OnboardingStep> steps;
    if (hasWelcome)
        steps << OnboardingStep::welcome();
    for (MissingPermission permission : missing)
        steps << OnboardingStep::missing(permission);
    if (hasKey)
        steps << OnboardingStep::apiKey();
    if (hasComplete)
        steps << OnboardingStep::complete();
    if (steps == steps_)
        return;

    // A page met meanwhile gives way to the next page that is still there: one the user has not seen
    // yet, never one further on (the key page must not be skipped because earlier pages went too).
    int next = int(steps.size()) - 1;
    for (qsizetype i = std::max(currentIndex_, 0); i < steps_.size(); ++i) {
        if (const qsizetype position = steps.indexOf(steps_[i]); position >= 0) {
            next = int(position);
            break;
        }
    }
    steps_ = steps;
    currentIndex_ = next;
    showCurrentStep();
}

void OnboardingWindowController::showCurrentStep()
{
    if (currentIndex_ < 0 || currentIndex_ >= steps_.size())
        return;
    const OnboardingStep step = steps_[currentIndex_];
    if (!contentView_) {
        contentView_ = new OnboardingStepContentView;
        auto *layout = new QVBoxLayout(window_);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(contentView_);
        connect(contentView_->testButton(), &QPushButton::clicked, this, &OnboardingWindowController::testKey);
        contentView_->onPrimary = [this] { handlePrimary(); };
        contentView_->onSkip = [this] { advance(); };
        const int provider = contentView_->providerBox()->findData(settings_.selectedProvider());
        contentView_->providerBox()->setCurrentIndex(std::max(provider, 0));
    }
    configure(step);
    DebugLog::log(QStringLiteral("App"), u"Setup step shown step=" + name(step));
    contentView_->setProgress(int(steps_.size()), currentIndex_);
    if (step.kind == OnboardingStep::Kind::Permission)
        pollTimer_.start();
    else
        pollTimer_.stop();
}

void OnboardingWindowController::configure(const OnboardingStep &step)
{
    const QColor accent = window_->palette().color(QPalette::Highlight);
    switch (step.kind) {
    case OnboardingStep::Kind::Welcome:
        contentView_->configure(QIcon(QStringLiteral(":/glint/pencil-and-scribble.svg")), accent,
                                tr("Welcome to Glint"),
                                tr("Annotate your screen and ask AI about what you see.\n\nGlint needs a few things "
                                   "to work properly. This only takes a moment."),
                                tr("Get Started"), false, false);
        return;
    case OnboardingStep::Kind::Permission: {
        const PermissionStatus status = permissions_.status(step.permission);
        // Nothing here may be able to help; the user can always go on.
        contentView_->configure(
            MissingPermissions::icon(step.permission), accent, MissingPermissions::title(step.permission),
            status.problem, status.action.isEmpty() ? tr("Continue") : status.action, !status.action.isEmpty(), false);
        return;
    }
    case OnboardingStep::Kind::APIKey: {
        contentView_->configure(MissingPermissions::icon(MissingPermission::KeyStorage), accent, tr("Your API Key"),
                                hasStoredKey()
                                    ? tr("A key is stored already. Paste another one to replace it.")
                                    : tr("Glint asks Anthropic's or OpenAI's models with your own API key. It "
                                         "is kept in your keyring, never in a file. An OpenAI key also lets you "
                                         "ask by voice."),
                                tr("Save Key"), true, true);
        contentView_->keyField()->setFocus();
        return;
    }
    case OnboardingStep::Kind::Complete:
        contentView_->configure(QIcon(QStringLiteral(":/glint/checkmark-circle.svg")), completeColor,
                                tr("You're All Set!"),
                                tr("Glint is ready to use.\nPress %1 to get started.")
                                    .arg(SettingsView::hotkeyDescription(
                                        settings_.hotkeyKeyCode(), quint64(qMax(0, settings_.hotkeyModifiers())))),
                                tr("Start Using Glint"), false, false);
        return;
    }
}

void OnboardingWindowController::handlePrimary()
{
    const OnboardingStep step = steps_.value(currentIndex_);
    switch (step.kind) {
    case OnboardingStep::Kind::Complete:
        finish();
        return;
    case OnboardingStep::Kind::Welcome:
        advance();
        return;
    case OnboardingStep::Kind::Permission:
        if (permissions_.status(step.permission).action.isEmpty())
            advance();
        else
            permissions_.act(step.permission);
        return;
    case OnboardingStep::Kind::APIKey:
        saveKey();
        return;
    }
}

void OnboardingWindowController::saveKey()
{
    const QString key = contentView_->keyField()->text().trimmed();
    if (key.isEmpty() && !hasStoredKey()) {
        contentView_->testResult()->setText(tr("Paste a key first, or skip this step."));
        return;
    }
    if (key.isEmpty()) {
        advance(); // the stored one stays
        return;
    }
    const QString provider = contentView_->providerBox()->currentData().toString();
    // On only once the key is stored: a locked keyring keeps the page, the typed key and says why.
    settings_.keychainWrite(accountFor(provider), key).then(this, [this, provider](const QString &problem) {
        if (!problem.isEmpty()) {
            contentView_->testResult()->setText(problem);
            return;
        }
        settings_.setSelectedProvider(provider);
        contentView_->keyField()->clear();
        advance();
    });
}

bool OnboardingWindowController::hasStoredKey() const
{
    return settings_.isAPIKeySet(SettingsManager::anthropicKeyAccount) ||
           settings_.isAPIKeySet(SettingsManager::openAIKeyAccount);
}

void OnboardingWindowController::testKey()
{
    const QString key = contentView_->keyField()->text().trimmed();
    if (key.isEmpty()) {
        contentView_->testResult()->setText(tr("Paste a key first."));
        return;
    }
    const QString provider = contentView_->providerBox()->currentData().toString();
    contentView_->testButton()->setEnabled(false);
    contentView_->testResult()->setText(tr("Testing…"));
    tester_.test(provider, key, provider == u"openai" ? settings_.openAIModel() : settings_.anthropicModel());
}

void OnboardingWindowController::advance()
{
    pollTimer_.stop();
    ++currentIndex_;
    if (currentIndex_ < steps_.size())
        showCurrentStep();
    else
        finish();
}

void OnboardingWindowController::finish()
{
    // Once: a second press while the window closes does nothing.
    if (!onComplete_)
        return;
    close();
    std::exchange(onComplete_, nullptr)();
}

void OnboardingWindowController::checkCurrentPermission()
{
    const OnboardingStep step = steps_.value(currentIndex_);
    if (step.kind == OnboardingStep::Kind::Permission && permissions_.isGranted(step.permission))
        advance();
}
