#pragma once

#include <QString>

// Writes mono float samples at the microphone's rate into an audio file. One thread at a time.
class AudioFileWriter {
public:
    virtual ~AudioFileWriter() = default; // an unfinished file is closed as it is

    virtual bool open(const QString &path, QString &error) = 0;
    virtual bool write(const float *samples, qsizetype count, QString &error) = 0;
    // Writes what is left and completes the file.
    virtual bool finish(QString &error) = 0;
    // Closes the file as it is, unfinished.
    virtual void close() = 0;
};
