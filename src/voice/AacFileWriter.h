#pragma once

#include "voice/AudioFileWriter.h"

#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;

// Encodes mono float samples at 44.1 kHz as AAC in an MPEG-4 audio file (.m4a), writing each packet
// as it is made: memory stays the same however long the recording runs. Not thread-safe; one thread
// at a time.
class AacFileWriter : public AudioFileWriter {
public:
    static constexpr int bitRate = 96000;

    AacFileWriter() = default;
    ~AacFileWriter() override;
    AacFileWriter(const AacFileWriter &) = delete;
    AacFileWriter &operator=(const AacFileWriter &) = delete;

    bool open(const QString &path, QString &error) override;
    bool write(const float *samples, qsizetype count, QString &error) override;
    // Encodes what is left and completes the file (its index goes at the end).
    bool finish(QString &error) override;
    void close() override;

private:
    bool encode(const AVFrame *frame, QString &error); // a null frame drains the encoder
    bool encodeBuffered(QString &error);

    AVFormatContext *format_ = nullptr;
    AVCodecContext *codec_ = nullptr;
    AVFrame *frame_ = nullptr;
    AVPacket *packet_ = nullptr;
    std::vector<float> pending_; // less than one encoder frame
    qint64 nextPts_ = 0;
    bool headerWritten_ = false;
};
