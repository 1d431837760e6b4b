#pragma once

#include <QString>

// What one event of a streamed response means for the answer.
struct LLMEventMeaning {
    enum class Kind { Nothing, Fragment, Failure };

    Kind kind = Kind::Nothing;
    QString text; // the fragment, or the failure's description
    // The protocol's own sign that the answer is complete. A body that ends without one was cut off.
    bool closesAnswer = false;

    static LLMEventMeaning fragment(const QString &text) { return {Kind::Fragment, text}; }
    static LLMEventMeaning failure(const QString &description) { return {Kind::Failure, description}; }
    static LLMEventMeaning closing() { return {Kind::Nothing, {}, true}; }
};
