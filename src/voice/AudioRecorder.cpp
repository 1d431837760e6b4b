#include "voice/AudioRecorder.h"

#include <QPointer>

AudioRecorder::AudioRecorder(std::unique_ptr<AudioInput> input, std::unique_ptr<AudioFileWriter> writer,
                             QObject *parent)
    : QObject(parent)
    , input_(std::move(input))
    , writer_(std::move(writer))
{
}

AudioRecorder::~AudioRecorder()
{
    cancel();
}

bool AudioRecorder::start(const QString &path, QString &error)
{
    cancel();
    if (!writer_->open(path, error))
        return false;
    failed_ = false;
    firstSamplesAfterNs_ = -1;
    running_ = true;
    sinceStart_.start();
    input_->start([this](const float *samples, qsizetype count) { samplesArrived(samples, count); },
                  [this](const QString &message) { failOnAudioThread(message); });
    return true;
}

void AudioRecorder::samplesArrived(const float *samples, qsizetype count)
{
    if (failed_)
        return;
    if (firstSamplesAfterNs_.load() < 0)
        firstSamplesAfterNs_ = sinceStart_.nsecsElapsed();
    QString error;
    if (!writer_->write(samples, count, error))
        failOnAudioThread(error);
}

void AudioRecorder::failOnAudioThread(const QString &message)
{
    if (failed_.exchange(true))
        return;
    QPointer<AudioRecorder> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, message] {
            if (self && self->running_)
                Q_EMIT self->failed(message);
        },
        Qt::QueuedConnection);
}

bool AudioRecorder::stop(QString &error)
{
    if (!running_)
        return error = QStringLiteral("Not recording"), false;
    running_ = false;
    input_->stop();
    if (failed_)
        return error = QStringLiteral("The recording failed"), false;
    return writer_->finish(error);
}

void AudioRecorder::cancel()
{
    if (!running_)
        return;
    running_ = false;
    input_->stop();
    writer_->close();
}
