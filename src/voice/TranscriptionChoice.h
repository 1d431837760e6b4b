#pragma once

#include <QString>

#include <functional>

class SettingsManager;

// Which service turns spoken questions into text, from the "Transcription" setting and what the user has set
// up; when none can, the one sentence that says what is missing. Automatic takes Replicate for whoever has
// its token, then OpenAI for an OpenAI key, then the compatible server once it has a transcription model.
struct TranscriptionChoice {
    enum class Service { None, Replicate, OpenAI, Compatible };

    Service service = Service::None;
    QString missing; // for None

    using HasKey = std::function<bool(const QString &account)>;

    // `setting` is one of SettingsManager::transcriptionServices; the settings give the rest.
    static TranscriptionChoice decide(const QString &setting, const SettingsManager &settings, const HasKey &hasKey);
    // The keyring account of the service's key; empty for None.
    static QString keyAccount(Service service);

    bool operator==(const TranscriptionChoice &) const = default;
};
