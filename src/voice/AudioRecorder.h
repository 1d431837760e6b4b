#pragma once

#include "voice/AudioFileWriter.h"
#include "voice/AudioInput.h"

#include <QElapsedTimer>
#include <QObject>

#include <atomic>
#include <memory>

// Records the microphone into an audio file: samples are encoded on the audio thread as they arrive,
// so nothing grows in memory. Controlled from the main thread; its signals arrive there.
class AudioRecorder : public QObject {
    Q_OBJECT
public:
    AudioRecorder(std::unique_ptr<AudioInput> input, std::unique_ptr<AudioFileWriter> writer,
                  QObject *parent = nullptr);
    ~AudioRecorder() override; // stops; the file stays as it is

    // Opens `path` (which must exist) and starts capturing; false with `error` when the file or the
    // encoder cannot be opened. Microphone failures come later, through failed().
    bool start(const QString &path, QString &error);
    // Stops capturing and completes the file; false with `error` when the recording is unusable.
    bool stop(QString &error);
    // Stops capturing and leaves the file incomplete (it is about to be deleted).
    void cancel();

    // Nanoseconds from start() to the first samples on the audio thread; -1 before they came.
    qint64 firstSamplesAfterNs() const { return firstSamplesAfterNs_.load(); }

Q_SIGNALS:
    void failed(const QString &message); // nothing more is recorded

private:
    void samplesArrived(const float *samples, qsizetype count); // audio thread
    void failOnAudioThread(const QString &message);

    std::unique_ptr<AudioInput> input_;
    std::unique_ptr<AudioFileWriter> writer_; // the audio thread's while capturing, the main thread's otherwise
    QElapsedTimer sinceStart_;
    std::atomic<qint64> firstSamplesAfterNs_{-1};
    std::atomic<bool> failed_{false};
    bool running_ = false;
};
