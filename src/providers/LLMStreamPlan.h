#pragma once

#include "providers/LLMEndpoint.h"
#include "providers/LLMError.h"
#include "providers/LLMEventMeaning.h"
#include "providers/ServerSentEvent.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <utility>
#include <variant>

// What a provider brings to the streaming run; the run itself is the same for every provider.
struct LLMStreamPlan {
    QString category; // log category, "Anthropic" or "OpenAI"
    QString model;
    LLMEndpoint endpoint;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QString apiKey; // kept out of every log line and error text

    // Runs on a worker thread: image preparation may take a while.
    std::function<std::variant<QByteArray, LLMError>()> buildBody;
    // Runs on the network thread, once per event of the response.
    std::function<LLMEventMeaning(const ServerSentEvent &event)> interpretEvent;
};
