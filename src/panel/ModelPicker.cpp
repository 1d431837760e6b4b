#include "panel/ModelPicker.h"

#include "panel/ModelPillButton.h"
#include "providers/ModelCatalog.h"
#include "session/ProviderChoice.h"
#include "settings/SettingsManager.h"

#include <QMenu>

ModelPicker::ModelPicker(SettingsManager *settings, ModelCatalog &catalog, QObject *parent)
    : QObject(parent)
    , settings_(settings)
    , catalog_(catalog)
    , button_(new ModelPillButton)
{
    button_->setObjectName(QStringLiteral("modelButton"));
    connect(button_, &QPushButton::clicked, this, &ModelPicker::showMenu);
    updateTitle();
    if (!settings)
        return;
    for (auto signal : {&SettingsManager::selectedProviderChanged, &SettingsManager::anthropicModelChanged,
                        &SettingsManager::openAIModelChanged, &SettingsManager::compatibleModelChanged,
                        &SettingsManager::compatibleBaseURLChanged, &SettingsManager::apiKeysChanged})
        connect(settings, signal, this, &ModelPicker::updateTitle);
    for (auto signal :
         {&SettingsManager::compatibleBaseURLChanged, &SettingsManager::compatibleAllowUnencryptedChanged})
        connect(settings, signal, this, &ModelPicker::fetchCompatibleModels);
    settings->refreshAPIKeys();
    fetchCompatibleModels();
}

bool ModelPicker::hasKey(const QString &account) const
{
    return settings_ && settings_->isAPIKeySet(account);
}

bool ModelPicker::hasProvider() const
{
    return hasKey(SettingsManager::anthropicKeyAccount) || hasKey(SettingsManager::openAIKeyAccount) ||
           (settings_ && !settings_->compatibleBaseURL().trimmed().isEmpty());
}

// What the user's own server offers, asked while the question is typed so the menu can list it.
void ModelPicker::fetchCompatibleModels()
{
    if (!settings_ || settings_->compatibleBaseURL().trimmed().isEmpty())
        return;
    settings_->keychainReadLater(SettingsManager::compatibleKeyAccount)
        .then(this, [this, base = settings_->compatibleBaseURL(),
                     allow = settings_->compatibleAllowUnencrypted()](const StoredSecret &key) {
            catalog_.fetchCompatibleModels(base, allow, key.isSet() ? key.value : QString());
        });
}

void ModelPicker::updateTitle()
{
    if (!settings_ || !hasProvider()) {
        button_->setText(QStringLiteral("Configure API keys"));
        button_->setAccessibleName(QString());
    } else {
        // The model the question will go to: any unknown provider value means Anthropic.
        const QString model = ProviderChoice::fromSettings(*settings_, settings_->selectedProvider()).config.model;
        button_->setText(model.isEmpty() ? QStringLiteral("Choose a model") : ModelCatalog::displayName(model));
        button_->setAccessibleName(u"Model: " + button_->text());
    }
    button_->updateGeometry();
}

QMenu *ModelPicker::createMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    if (!settings_)
        return menu;
    const auto addGroup = [&](const QString &title, const QString &provider, const QStringList &models,
                              const QString &current) {
        menu->addAction(title)->setEnabled(false);
        for (const QString &model : models) {
            QAction *item = menu->addAction(ModelCatalog::displayName(model));
            item->setCheckable(true);
            item->setChecked(settings_->selectedProvider() == provider && current == model);
            connect(item, &QAction::triggered, this, [this, provider, model] { select(provider, model); });
        }
    };
    const bool anthropic = hasKey(SettingsManager::anthropicKeyAccount);
    if (anthropic)
        addGroup(QStringLiteral("Claude"), ModelCatalog::anthropic,
                 ModelCatalog::builtInModels(ModelCatalog::anthropic), settings_->anthropicModel());
    if (hasKey(SettingsManager::openAIKeyAccount)) {
        if (anthropic)
            menu->addSeparator();
        addGroup(QStringLiteral("OpenAI"), ModelCatalog::openAI, ModelCatalog::builtInModels(ModelCatalog::openAI),
                 settings_->openAIModel());
    }
    if (!settings_->compatibleBaseURL().trimmed().isEmpty()) {
        const QString configured = settings_->compatibleModel();
        const QStringList offered = catalog_.models(ModelCatalog::compatible, configured);
        if (!menu->isEmpty())
            menu->addSeparator();
        addGroup(QStringLiteral("OpenAI-compatible server"), ModelCatalog::compatible, offered, configured);
        if (offered.isEmpty())
            menu->addAction(QStringLiteral("No models offered; set one in Settings"))->setEnabled(false);
    }
    return menu;
}

void ModelPicker::showMenu()
{
    if (!hasProvider()) {
        Q_EMIT settingsRequested();
        return;
    }
    QMenu *menu = createMenu(button_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(button_->mapToGlobal(QPoint(0, button_->height() + 4)));
}

void ModelPicker::select(const QString &provider, const QString &model)
{
    if (!settings_)
        return;
    settings_->setSelectedProvider(provider);
    if (provider == ModelCatalog::anthropic)
        settings_->setAnthropicModel(model);
    else if (provider == ModelCatalog::compatible)
        settings_->setCompatibleModel(model);
    else
        settings_->setOpenAIModel(model);
    updateTitle();
}
