#pragma once

#include "voice/TranscriptionService.h"

#include <functional>
#include <memory>

class SettingsManager;

// Makes the service that turns a query panel's spoken questions into text, from what the user has set
// up. Each panel gets a service of its own, so a recording never outlives the panel it was made in.
class TranscriptionServiceFactory {
public:
    // The service; or none, with one sentence saying which key or setting is missing.
    using Ready = std::function<void(std::unique_ptr<TranscriptionService> service, const QString &missing)>;

    virtual ~TranscriptionServiceFactory() = default;

    // `ready` runs later on the main thread, unless `context` has gone by then.
    virtual void create(const SettingsManager &settings, QObject *context, Ready ready) = 0;
};
