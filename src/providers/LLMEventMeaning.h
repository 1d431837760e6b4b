#pragma once

#include "providers/LLMAnswerEnding.h"

#include <QString>

#include <optional>

// What one event of a streamed response means for the answer.
struct LLMEventMeaning {
    enum class Kind { Nothing, Fragment, Refusal, Failure };

    Kind kind = Kind::Nothing;
    QString text; // the fragment, a piece of the model's words for declining, or the failure's description
    // The protocol's own sign that the answer is complete. A body that ends without one was cut off.
    bool closesAnswer = false;
    // Why the model stopped, when the event says so.
    std::optional<LLMAnswerEnding::Reason> stop;

    static LLMEventMeaning fragment(const QString &text) { return {Kind::Fragment, text, false, {}}; }
    static LLMEventMeaning refusal(const QString &text) { return {Kind::Refusal, text, false, {}}; }
    static LLMEventMeaning failure(const QString &description) { return {Kind::Failure, description, false, {}}; }
    static LLMEventMeaning closing() { return {Kind::Nothing, {}, true, {}}; }
    static LLMEventMeaning stopping(LLMAnswerEnding::Reason reason) { return {Kind::Nothing, {}, false, reason}; }
};
