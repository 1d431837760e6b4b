#pragma once

#include "providers/EventStreamReader.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

// The transcript of an answer streamed as events, read while it arrives: "transcript.text.delta" events add
// their "delta", "transcript.text.done" gives the whole text and ends it, an "error" event ends it with the
// service's message. Anything else in the stream is passed over.
class TranscriptEventReader {
public:
    // True when the transcript grew.
    bool feed(QByteArrayView piece);
    // At the end of the body: the last event may lack its blank line.
    void finish();

    const QString &text() const { return text_; }
    bool isComplete() const { return complete_; } // the done event came
    bool sawTranscriptEvents() const { return sawEvents_; }
    const std::optional<QString> &failure() const { return failure_; }

private:
    bool read(const QList<ServerSentEvent> &events);

    EventStreamReader events_;
    QString text_;
    bool complete_ = false;
    bool sawEvents_ = false;
    std::optional<QString> failure_;
};
