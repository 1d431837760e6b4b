#pragma once

#include "providers/LLMProvider.h"

#include <QObject>
#include <QUuid>

#include <memory>
#include <optional>

class ChatTranscript;
class SessionCaptures;
class SettingsManager;

// The questions of one session and their answers: each question goes to the chosen provider with the
// conversation so far and the session's pictures, and its answer streams into the transcript. One question
// at a time; a question that is no longer the current one, or whose session revision moved on, changes
// nothing. Main thread only.
class SessionConversation : public QObject {
    Q_OBJECT
public:
    // `revision` is the session's own, read whenever a question or its answer moves on.
    SessionConversation(LLMProviderFactory *providers, ChatTranscript &transcript, SessionCaptures &captures,
                        const QUuid &revision);

    const QString &streamedResponse() const { return streamedResponse_; }
    bool isStreaming() const { return current_ != nullptr; }
    // The first turn, which carries the first picture, and what was said since.
    const LLMConversation &prefix() const { return prefix_; }
    const LLMConversation &history() const { return history_; }

    // Everything the question needs is read from `settings` now; it goes out once the key is read and the
    // capture under way, if any, has ended.
    void submit(const QString &query, const std::optional<QUuid> &existingUserMessageID, SettingsManager &settings);
    void captureEnded(quint64 serial, const std::optional<QByteArray> &image);
    // Stops listening to the current question's answer.
    void cancel();
    // Forgets the conversation and the streamed answer.
    void reset();

Q_SIGNALS:
    void streamedResponseChanged();
    // The current question was answered, failed or could not be sent: the panel takes questions again.
    void answerEnded();

private:
    struct Submission;

    void setStreamedResponse(const QString &text);
    void send(const std::shared_ptr<Submission> &submission, std::optional<QByteArray> image);
    bool isLive(const Submission &submission) const;
    void streamFinished(const std::shared_ptr<Submission> &submission, const LLMAnswerEnding &ending);
    void record(const Submission &submission, const LLMAnswerEnding &ending);
    void streamFailed(const std::shared_ptr<Submission> &submission, const QString &description, bool cancelled);
    void finishWithError(const QString &text, const QUuid &revision);
    void end(const std::shared_ptr<Submission> &submission);

    LLMProviderFactory *providers_;
    ChatTranscript &transcript_;
    SessionCaptures &captures_;
    const QUuid &revision_;

    QString streamedResponse_;
    std::shared_ptr<Submission> current_;
    LLMConversation prefix_;
    LLMConversation history_;
    // The picture of a first question the model declined: the next question opens the conversation with it.
    std::optional<QByteArray> reopeningImage_;
};
