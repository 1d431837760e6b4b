#pragma once

#include <QString>

// How an answer that ended in good order ended: the model may have stopped short of a whole answer.
struct LLMAnswerEnding {
    enum class Reason { Complete, LengthLimit, Refusal };

    Reason reason = Reason::Complete;
    QString refusal; // the model's own words for declining, when it sent any; they are no part of the answer

    // What the user is told under the answer; empty for a whole answer and for a refusal in the model's words.
    QString note() const;

    bool operator==(const LLMAnswerEnding &) const = default;
};
