#pragma once

#include <QString>

// What one line of a streamed response means for the answer.
struct LLMLineEvent {
    enum class Kind { Nothing, Fragment, Failure };

    Kind kind = Kind::Nothing;
    QString text; // the fragment, or the failure's description
    // The protocol's own sign that the answer is complete. A body that ends without one was cut off.
    bool closesAnswer = false;

    static LLMLineEvent fragment(const QString &text) { return {Kind::Fragment, text}; }
    static LLMLineEvent failure(const QString &description) { return {Kind::Failure, description}; }
    static LLMLineEvent closing() { return {Kind::Nothing, {}, true}; }
};
