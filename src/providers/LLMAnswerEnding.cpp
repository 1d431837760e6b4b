#include "providers/LLMAnswerEnding.h"

QString LLMAnswerEnding::note() const
{
    switch (reason) {
    case Reason::LengthLimit:
        return QStringLiteral("The answer reached the model's length limit.");
    case Reason::Refusal:
        return refusal.isEmpty() ? QStringLiteral("The model declined to answer.") : QString();
    case Reason::Complete:
        break;
    }
    return {};
}
