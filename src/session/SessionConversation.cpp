#include "session/SessionConversation.h"

#include "log/DebugLog.h"
#include "session/ChatTranscript.h"
#include "session/ProviderChoice.h"
#include "session/SessionCaptures.h"
#include "settings/SettingsManager.h"

#include <QVariant>

namespace {

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("Session"), message);
}

QString canonical(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

// One question on its way: everything it needs was read when it was submitted.
struct SessionConversation::Submission {
    QUuid revision;
    bool cancelled = false;
    QString query;
    std::optional<QUuid> existingUserMessageID;
    QString provider; // as stored
    ProviderChoice choice;
    QString systemPrompt;
    StoredSecret key; // of the chosen provider

    std::optional<quint64> awaitedCapture; // serial of the capture this question waits for

    std::unique_ptr<LLMProvider> llm;
    std::shared_ptr<LLMAnswerStream> stream;
    QUuid answerID;
    bool isFirstTurn = false;
    LLMMessage turn;
};

SessionConversation::SessionConversation(LLMProviderFactory *providers, ChatTranscript &transcript,
                                         SessionCaptures &captures, const QUuid &revision)
    : providers_(providers)
    , transcript_(transcript)
    , captures_(captures)
    , revision_(revision)
{
}

void SessionConversation::setStreamedResponse(const QString &text)
{
    streamedResponse_ = text;
    Q_EMIT streamedResponseChanged();
}

void SessionConversation::reset()
{
    prefix_.clear();
    history_.clear();
    reopeningImage_.reset();
    setStreamedResponse(QString());
}

bool SessionConversation::isLive(const Submission &submission) const
{
    return submission.revision == revision_ && !submission.cancelled;
}

void SessionConversation::submit(const QString &query, const std::optional<QUuid> &existingUserMessageID,
                                 SettingsManager &settings)
{
    auto submission = std::make_shared<Submission>();
    submission->query = query;
    submission->existingUserMessageID = existingUserMessageID;
    submission->provider = settings.selectedProvider();
    submission->choice = ProviderChoice::fromSettings(settings, submission->provider);
    submission->systemPrompt = settings.effectiveSystemPrompt();
    submission->revision = revision_;

    cancel();
    current_ = submission;
    // The key is read off the main thread (a locked keyring may prompt for a while); then the question
    // waits for a running capture.
    settings.keychainReadLater(submission->choice.keyAccount).then(this, [this, submission](const StoredSecret &key) {
        if (submission->cancelled)
            return;
        submission->key = key;
        submission->awaitedCapture = captures_.runningSerial();
        if (!submission->awaitedCapture)
            send(submission, captures_.capturedImage());
    });
}

void SessionConversation::captureEnded(quint64 serial, const std::optional<QByteArray> &image)
{
    if (current_ && current_->awaitedCapture == serial) {
        std::shared_ptr<Submission> submission = current_;
        submission->awaitedCapture.reset();
        send(submission, image);
    }
}

void SessionConversation::cancel()
{
    std::shared_ptr<Submission> submission = std::exchange(current_, nullptr);
    if (!submission)
        return;
    submission->cancelled = true;
    if (submission->stream)
        submission->stream->disconnect(this);
}

void SessionConversation::send(const std::shared_ptr<Submission> &s, std::optional<QByteArray> image)
{
    if (!isLive(*s))
        return;

    const ProviderChoice &choice = s->choice;
    log(u"Submitting query provider=" + s->provider + u" model=" + choice.config.model + u" queryLength=" +
        QString::number(s->query.size()) + u" systemPromptLength=" + QString::number(s->systemPrompt.size()) +
        u" screenshotBytes=" + QString::number(image ? image->size() : 0));

    if (!s->key.isKnown() && choice.keyRequired) {
        // Not the same as no key: telling the user to add one would be wrong.
        finishWithError(u"Error: " + s->key.problem() + u" Unlock it and ask again.", s->revision);
        log(u"API key unreadable error=" + s->key.problem());
        end(s);
        return;
    }
    if ((choice.keyRequired && !s->key.isSet()) || !providers_) {
        finishWithError(choice.missingKeyNotice(), s->revision);
        log(choice.missingKeyLog());
        end(s);
        return;
    }
    LLMProviderConfig config = choice.config;
    config.apiKey = s->key.isSet() ? s->key.value : QString();
    s->llm = providers_->create(config);
    s->isFirstTurn = prefix_.isEmpty();

    QUuid questionID;
    if (s->existingUserMessageID) {
        questionID = *s->existingUserMessageID;
        transcript_.replace(questionID, s->query, false);
    } else {
        questionID = transcript_.append(ChatMessageRole::User, s->query, false);
    }
    ChatMessage answer{.role = ChatMessageRole::Assistant, .isStreaming = true, .model = choice.config.model};
    s->answerID = answer.id;
    transcript_.append(std::move(answer));
    log(u"Created chat transcript userMessageID=" + canonical(questionID) + u" assistantMessageID=" +
        canonical(s->answerID));

    const std::optional<QByteArray> pending = captures_.takePendingAdditionalImage();
    LLMConversation messages;
    if (s->isFirstTurn) {
        captures_.forgetInitialMessage();
        const std::optional<QByteArray> opening = pending ? pending : reopeningImage_ ? reopeningImage_ : image;
        reopeningImage_.reset();
        s->turn = LLMMessage{LLMMessage::Role::User, s->query, opening};
        prefix_ = {s->turn};
        messages = prefix_;
    } else {
        s->turn = LLMMessage{LLMMessage::Role::User, s->query, pending};
        messages = prefix_ + history_;
        messages.append(s->turn);
    }

    setStreamedResponse(QString());
    log(u"Streaming task started provider=" + s->llm->id() + u" prefixMessages=" + QString::number(prefix_.size()) +
        u" historyMessages=" + QString::number(history_.size()) + u" messages=" + QString::number(messages.size()) +
        u" isFirstTurn=" + QVariant(s->isFirstTurn).toString());

    s->stream = s->llm->stream(messages, s->systemPrompt);
    LLMAnswerStream *stream = s->stream.get();
    connect(stream, &LLMAnswerStream::fragmentReceived, this, [this, s](const QString &fragment) {
        if (!isLive(*s)) {
            end(s);
            return;
        }
        setStreamedResponse(streamedResponse_ + fragment);
        transcript_.appendText(s->answerID, fragment);
    });
    connect(stream, &LLMAnswerStream::finished, this,
            [this, s](const LLMAnswerEnding &ending) { streamFinished(s, ending); });
    connect(stream, &LLMAnswerStream::failed, this,
            [this, s](const LLMStreamError &error) { streamFailed(s, error.description, error.cancelled); });
}

void SessionConversation::streamFinished(const std::shared_ptr<Submission> &s, const LLMAnswerEnding &ending)
{
    if (isLive(*s)) {
        record(*s, ending);
        if (!ending.refusal.isEmpty())
            setStreamedResponse(streamedResponse_.isEmpty() ? ending.refusal
                                                            : streamedResponse_ + u"\n\n" + ending.refusal);
        transcript_.replace(s->answerID, streamedResponse_, false, ending.note());
        Q_EMIT answerEnded();
        log(u"Streaming task completed responseLength=" + QString::number(streamedResponse_.size()));
    }
    end(s);
}

// What goes back to the model with later questions. Not a refused question: resent, it draws the same refusal,
// as Anthropic warns (its picture opens the conversation again). Nor an empty answer: Anthropic rejects an
// empty turn. An answer cut at the length limit does: it is what the model said.
void SessionConversation::record(const Submission &s, const LLMAnswerEnding &ending)
{
    if (ending.reason == LLMAnswerEnding::Reason::Refusal) {
        if (s.isFirstTurn) {
            reopeningImage_ = s.turn.imageData;
            prefix_.clear();
        }
        return;
    }
    if (streamedResponse_.isEmpty())
        return;
    if (!s.isFirstTurn)
        history_.append(s.turn);
    history_.append(LLMMessage{LLMMessage::Role::Assistant, streamedResponse_, std::nullopt});
}

void SessionConversation::streamFailed(const std::shared_ptr<Submission> &s, const QString &description, bool cancelled)
{
    // A stream that reports cancellation while its submission is still current was not cancelled by us
    // (the network gave up); it is a failure like any other, or the panel would wait forever.
    const bool current = isLive(*s);
    if (cancelled && !current) {
        log(QStringLiteral("Streaming task cancelled"));
    } else if (current) {
        QString text = streamedResponse_;
        if (!text.isEmpty())
            text += u"\n\n";
        text += u"[Error: " + description + u']';
        setStreamedResponse(text);
        transcript_.replace(s->answerID, text, false);
        Q_EMIT answerEnded();
        log(u"Streaming task failed error=" + description);
    }
    end(s);
}

void SessionConversation::finishWithError(const QString &text, const QUuid &revision)
{
    if (revision != revision_)
        return;
    setStreamedResponse(text);
    transcript_.append(ChatMessageRole::Assistant, text, false);
    Q_EMIT answerEnded();
}

// The submission is over: stop listening and, while it is still the current one, let it go.
void SessionConversation::end(const std::shared_ptr<Submission> &s)
{
    if (s->stream)
        s->stream->disconnect(this);
    if (s->revision == revision_ && current_ == s)
        current_.reset();
}
