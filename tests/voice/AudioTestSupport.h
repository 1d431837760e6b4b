#pragma once

#include "voice/AudioInput.h"

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <optional>

// What a decoded recording holds.
struct DecodedAudio {
    QString codec;
    int channels = 0;
    int sampleRate = 0;
    double seconds = 0;
    double rms = 0;  // over the whole recording, samples in [-1, 1]
    double peak = 0; // the loudest sample's magnitude
};

// Decodes an audio file with FFmpeg; none when it cannot be read.
std::optional<DecodedAudio> decodeAudio(const QByteArray &bytes);

// Whether a prediction request's body carries the recording as an m4a data URI of mono 44.1 kHz AAC that
// lasts at least `seconds` (at most `seconds + slack`) and is not silence.
::testing::AssertionResult carriesSpokenAudio(const QByteArray &predictionRequestBody, double seconds, double slack);

// Speech made with espeak-ng as a WAV file in `directory`; its path and duration.
struct Speech {
    QString path;
    double seconds = 0;
};
std::optional<Speech> makeSpeech(const QString &directory, const QString &text);

// Plays a sound file into the test session's virtual microphone; blocks until it has been played.
bool playIntoMicrophone(const QString &path);

// A microphone that delivers a tone of the given length as soon as it starts (or fails instead).
class ToneInput : public AudioInput {
public:
    explicit ToneInput(double seconds, QString failure = {})
        : seconds_(seconds)
        , failure_(std::move(failure))
    {
    }
    void start(SamplesHandler onSamples, FailureHandler onFailure) override;
    void stop() override {}

private:
    double seconds_;
    QString failure_;
};
