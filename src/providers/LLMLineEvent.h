#pragma once

#include <QString>

// What one line of a streamed response means for the answer.
struct LLMLineEvent {
    enum class Kind { Nothing, Fragment, Failure };

    Kind kind = Kind::Nothing;
    QString text; // the fragment, or the failure's description

    static LLMLineEvent fragment(const QString &text) { return {Kind::Fragment, text}; }
    static LLMLineEvent failure(const QString &description) { return {Kind::Failure, description}; }
};
