#pragma once

#include "voice/AudioInput.h"

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <optional>

// Whether a prediction request's body carries the recording as an m4a data URI of mono 44.1 kHz AAC that
// lasts at least `seconds` (at most `seconds + slack`) and is not silence.
::testing::AssertionResult carriesSpokenAudio(const QByteArray &predictionRequestBody, double seconds, double slack);
// The same for the bytes of an m4a file.
::testing::AssertionResult isSpokenAudio(const QByteArray &m4a, double seconds, double slack);

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
