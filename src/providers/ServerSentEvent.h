#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// One event of a server-sent event stream, read the same way for both providers.
struct ServerSentEvent {
    QString type; // the "event" field; empty when the event was not named
    QString data; // its "data" lines, joined with line feeds

    // The JSON object the data carries. Nothing for "[DONE]" and for data that is not a JSON object.
    std::optional<QJsonObject> dataObject() const;

    // The "[DONE]" event that ends a Chat Completions stream.
    bool isDone() const { return data == u"[DONE]"; }

    // How an error event reported inside a stream reads to the user: its data verbatim.
    QString streamErrorDescription() const { return u"Stream error: " + data; }

    bool operator==(const ServerSentEvent &) const = default;
};
