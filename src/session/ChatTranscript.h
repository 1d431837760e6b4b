#pragma once

#include "session/ChatMessage.h"

#include <QList>
#include <QObject>
#include <QUuid>

// The bubbles of one session, in order. Main thread only.
class ChatTranscript : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const QList<ChatMessage> &messages() const { return messages_; }

    void append(ChatMessage message);
    // A message without attachment; its id.
    QUuid append(ChatMessageRole role, const QString &text, bool isStreaming);
    // Unknown ids are ignored: the message may have been removed meanwhile.
    void replace(const QUuid &id, const QString &text, bool isStreaming, const QString &note = {});
    void appendText(const QUuid &id, const QString &text);
    // Whether the message was there. By value: callers often pass an id from messages().
    bool remove(QUuid id);
    void clear();

Q_SIGNALS:
    void changed();                       // messages added, removed or the list emptied
    void messageUpdated(const QUuid &id); // one message's text, streaming flag or note changed in place

private:
    ChatMessage *find(const QUuid &id);

    QList<ChatMessage> messages_;
};
