#include "session/ChatTranscript.h"

#include <algorithm>

void ChatTranscript::append(ChatMessage message)
{
    messages_.append(std::move(message));
    Q_EMIT changed();
}

QUuid ChatTranscript::append(ChatMessageRole role, const QString &text, bool isStreaming)
{
    ChatMessage message;
    message.role = role;
    message.text = text;
    message.isStreaming = isStreaming;
    const QUuid id = message.id;
    append(std::move(message));
    return id;
}

void ChatTranscript::replace(const QUuid &id, const QString &text, bool isStreaming, const QString &note)
{
    if (ChatMessage *message = find(id)) {
        message->text = text;
        message->isStreaming = isStreaming;
        message->note = note;
        Q_EMIT messageUpdated(id);
    }
}

void ChatTranscript::appendText(const QUuid &id, const QString &text)
{
    if (ChatMessage *message = find(id)) {
        message->text += text;
        Q_EMIT messageUpdated(id);
    }
}

bool ChatTranscript::remove(QUuid id)
{
    if (messages_.removeIf([&](const ChatMessage &m) { return m.id == id; }) == 0)
        return false;
    Q_EMIT changed();
    return true;
}

void ChatTranscript::clear()
{
    messages_.clear();
    Q_EMIT changed();
}

ChatMessage *ChatTranscript::find(const QUuid &id)
{
    const auto it = std::find_if(messages_.begin(), messages_.end(), [&](const ChatMessage &m) { return m.id == id; });
    return it == messages_.end() ? nullptr : &*it;
}
