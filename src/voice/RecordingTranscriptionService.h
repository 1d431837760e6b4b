#pragma once

#include "voice/AudioInput.h"
#include "voice/TranscriptionService.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class AudioRecorder;

// What every transcription service does alike: records the spoken question into a private file, reads it
// once when the user lets go and deletes it, then hands the audio to the service's own upload. The
// recording is deleted once read, on cancel, and with the service. Main thread only.
class RecordingTranscriptionService : public TranscriptionService {
    Q_OBJECT
public:
    // A recording, or any audio file, as it is uploaded.
    struct Clip {
        QByteArray audio;
        QString fileName;  // its extension tells the format
        QString mediaType; // "audio/m4a" for a recording
    };

    static constexpr qsizetype bodyTextLimit = 4000;

    ~RecordingTranscriptionService() override;

    void startRecording() override;
    void cancelRecording() override;
    void stopAndTranscribe(Completion done) override;

    // Turns `clip` into text; `done` runs later on the main thread, unless the service is destroyed first.
    virtual void transcribe(const Clip &clip, Completion done) = 0;

    // The text an error or a log line shows of a response body: UTF-8, at most 4000 characters.
    static QString stringBody(const QByteArray &bytes);

    const std::optional<QString> &audioFile() const { return audioFile_; }
    AudioRecorder *audioRecorder() const { return audioRecorder_.get(); }

protected:
    // Log lines go under `logCategory`. `microphone` makes the audio input of each recording; by default the
    // voice module's, which records from the sound server.
    RecordingTranscriptionService(const QString &logCategory, AudioInputFactory microphone, QObject *parent);

    void log(const QString &message) const;
    // Runs `done` from the event loop, as if every path had waited for the network.
    void finish(Completion done, const Result &result);

private:
    void discardRecording();
    void recordingBroke(const QString &message);

    QString logCategory_;
    AudioInputFactory microphone_;
    std::unique_ptr<AudioRecorder> audioRecorder_;
    std::optional<QString> audioFile_;
};
