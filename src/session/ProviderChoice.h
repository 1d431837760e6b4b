#pragma once

#include "providers/LLMProvider.h"

class SettingsManager;

// The provider the settings choose for a question: "openai", "compatible" (a server of the user's own),
// or Anthropic for any other value. Says where its key is kept and whether one is needed.
struct ProviderChoice {
    LLMProviderConfig config; // everything but the key
    QString keyAccount;
    bool keyRequired = true;
    QString name; // in messages: "Anthropic", "OpenAI", "OpenAI-compatible server"

    static ProviderChoice fromSettings(const SettingsManager &settings, const QString &provider);

    QString missingKeyNotice() const { return u"Error: No " + name + u" API key configured. Add it in Settings."; }
    QString missingKeyLog() const { return name + u" API key missing"; }
};
