#pragma once

#include "voice/TranscriptionError.h"

#include <QObject>

#include <functional>
#include <optional>

// What the query panel asks of voice input: record while the user holds, then either discard the
// recording or turn it into text. Main thread only.
class TranscriptionService : public QObject {
    Q_OBJECT
public:
    struct Result {
        QString text;                            // possibly empty
        std::optional<TranscriptionError> error; // set when there is no text
    };
    using Completion = std::function<void(const Result &)>;

    using QObject::QObject;

    virtual void startRecording() = 0;
    virtual void cancelRecording() = 0;
    // Stops the recording and transcribes it; `done` runs later on the main thread, unless the service
    // is destroyed first.
    virtual void stopAndTranscribe(Completion done) = 0;

Q_SIGNALS:
    // The microphone or the encoder failed while recording (or could not start): the recording is gone.
    void recordingFailed(const QString &message);
    // The transcript so far (never blank), while a service that streams it is still making it.
    void partialTranscript(const QString &textSoFar);
};
