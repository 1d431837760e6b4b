#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// The "data: " lines of a server-sent event stream, read the same way for both providers.
class ServerSentEvent {
public:
    ServerSentEvent() = delete;

    // The JSON object a "data: " line carries. Nothing for other lines (event names, comments, blank
    // separators), for "[DONE]", and for payloads that are not a JSON object.
    static std::optional<QJsonObject> dataObject(const QString &line);

    // Any "data:" line, whatever it carries: the body is an event stream.
    static bool isData(const QString &line) { return line.startsWith(u"data:"); }
    // The "data: [DONE]" line that ends a Chat Completions stream.
    static bool isDone(const QString &line) { return line == u"data: [DONE]"; }

    // How an error event reported inside a stream reads to the user: its payload verbatim.
    static QString streamErrorDescription(const QString &line);
};
