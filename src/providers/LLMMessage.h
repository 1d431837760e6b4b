#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One turn of the model conversation.
struct LLMMessage {
    enum class Role { User, Assistant };

    Role role = Role::User;
    QString text;
    std::optional<QByteArray> imageData; // encoded image bytes (PNG from the capture service)

    friend bool operator==(const LLMMessage &, const LLMMessage &) = default;
};

using LLMConversation = QList<LLMMessage>;
