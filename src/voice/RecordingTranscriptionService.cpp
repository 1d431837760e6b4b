#include "voice/RecordingTranscriptionService.h"

#include "log/DebugLog.h"
#include "voice/AudioRecorder.h"
#include "voice/RecordingDirectory.h"
#include "voice/VoiceModule.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTimer>

RecordingTranscriptionService::RecordingTranscriptionService(const QString &logCategory, AudioInputFactory microphone,
                                                             QObject *parent)
    : TranscriptionService(parent)
    , logCategory_(logCategory)
    , microphone_(std::move(microphone))
{
}

RecordingTranscriptionService::~RecordingTranscriptionService()
{
    discardRecording();
}

void RecordingTranscriptionService::log(const QString &message) const
{
    DebugLog::log(logCategory_, message);
}

void RecordingTranscriptionService::discardRecording()
{
    if (audioRecorder_)
        audioRecorder_->cancel();
    audioRecorder_.reset();
    if (audioFile_)
        QFile::remove(*audioFile_);
    audioFile_.reset();
}

void RecordingTranscriptionService::startRecording()
{
    // A recording still running is replaced, and its file goes with it.
    discardRecording();
    QString error;
    audioFile_ = RecordingDirectory::createFile(error);
    const VoiceBackend *backend = audioFile_ ? VoiceModule::installed().backend(error) : nullptr;
    if (backend) {
        auto recorder = std::make_unique<AudioRecorder>(microphone_ ? microphone_() : backend->makeMicrophone(),
                                                        backend->makeWriter());
        connect(recorder.get(), &AudioRecorder::failed, this, &RecordingTranscriptionService::recordingBroke);
        if (recorder->start(*audioFile_, error))
            audioRecorder_ = std::move(recorder);
    }
    if (!audioRecorder_) {
        discardRecording();
        log(u"Failed to start recording error=" + error);
        Q_EMIT recordingFailed(error);
        return;
    }
    log(u"Recording started file=" + QFileInfo(*audioFile_).fileName());
}

void RecordingTranscriptionService::recordingBroke(const QString &message)
{
    discardRecording();
    log(u"Recording failed error=" + message);
    Q_EMIT recordingFailed(message);
}

void RecordingTranscriptionService::cancelRecording()
{
    discardRecording();
    log(QStringLiteral("Recording discarded"));
}

void RecordingTranscriptionService::stopAndTranscribe(Completion done)
{
    QString error;
    const bool recorded = audioRecorder_ && audioRecorder_->stop(error);
    audioRecorder_.reset();
    if (!audioFile_) {
        finish(std::move(done), {{}, TranscriptionError::noAudioFile()});
        return;
    }
    // Read once, then the recording is gone whatever happens next.
    QFile file(*audioFile_);
    const bool opened = recorded && file.open(QIODevice::ReadOnly);
    const QByteArray audio = opened ? file.readAll() : QByteArray();
    if (recorded && !opened)
        error = u"Cannot read the recording: " + file.errorString();
    file.close();
    discardRecording();
    if (!opened) {
        finish(std::move(done), {{}, TranscriptionError::other(error)});
        return;
    }
    transcribe({audio, QStringLiteral("question.m4a"), QStringLiteral("audio/m4a")}, std::move(done));
}

void RecordingTranscriptionService::finish(Completion done, const Result &result)
{
    QTimer::singleShot(0, this, [done = std::move(done), result] {
        if (done)
            done(result);
    });
}

QString RecordingTranscriptionService::stringBody(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return u"<non-utf8 body " + QString::number(bytes.size()) + u" bytes>";
    // Counted in characters, so a character beyond the basic plane is never cut in half.
    qsizetype cut = 0;
    for (qsizetype characters = 0; cut < text.size(); ++characters) {
        if (characters == bodyTextLimit)
            return text.left(cut) + u'…';
        cut += text.at(cut).isHighSurrogate() && cut + 1 < text.size() ? 2 : 1;
    }
    return text;
}
