#pragma once

#include "voice/VoiceBackend.h"

#include <QString>

#include <mutex>

// Opens the voice module on first use, not at start: its libraries (the sound server's, the encoder's
// and all they pull in) would otherwise be mapped into every process, recording or not. Any thread.
class VoiceModule {
public:
    static constexpr const char *fileName = "glint-voice.so";

    explicit VoiceModule(const QString &path);
    VoiceModule(const VoiceModule &) = delete;
    VoiceModule &operator=(const VoiceModule &) = delete;

    // The program's module: $GLINT_VOICE_MODULE when set, else beside the program (a build tree), else
    // in the install tree's library folder.
    static VoiceModule &installed();

    // Loads on the first call. Null with `error` (the same every time) when the module cannot be used.
    const VoiceBackend *backend(QString &error);

    const QString &path() const { return path_; }

private:
    void load();

    QString path_;
    std::once_flag loaded_;
    const VoiceBackend *backend_ = nullptr;
    QString error_;
};
