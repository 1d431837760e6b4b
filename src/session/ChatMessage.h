#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>

enum class ChatMessageRole { User, Assistant };

// A screen capture shown as a thumbnail in the transcript.
struct ChatAttachment {
    QUuid id = QUuid::createUuid();
    QByteArray imageData; // encoded exactly as the capture service returned it
    QString title;

    friend bool operator==(const ChatAttachment &, const ChatAttachment &) = default;
};

// One bubble of the transcript.
struct ChatMessage {
    QUuid id = QUuid::createUuid();
    ChatMessageRole role = ChatMessageRole::User;
    QString text;
    std::optional<ChatAttachment> attachment;
    bool isStreaming = false;
    QString model; // of an answer: the model that wrote it
    QString note; // said under an answer that stopped short of a whole one

    friend bool operator==(const ChatMessage &, const ChatMessage &) = default;
};
