#include "voice/AacFileWriter.h"

#include "voice/AudioInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <cstring>

namespace {

QString describe(const char *what, int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLatin1(what) + u": " + QString::fromUtf8(text);
}

} // namespace

AacFileWriter::~AacFileWriter()
{
    close();
}

void AacFileWriter::close()
{
    if (format_ && format_->pb)
        avio_closep(&format_->pb);
    avformat_free_context(format_);
    format_ = nullptr;
    avcodec_free_context(&codec_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    pending_.clear();
    headerWritten_ = false;
}

bool AacFileWriter::open(const QString &path, QString &error)
{
    close();
    av_log_set_level(AV_LOG_ERROR); // the encoder's statistics are no use in our log
    nextPts_ = 0;
    const QByteArray file = path.toLocal8Bit();
    // "ipod" is the MPEG-4 muxer that marks the file as M4A audio.
    int result = avformat_alloc_output_context2(&format_, nullptr, "ipod", file.constData());
    if (result < 0)
        return error = describe("Cannot prepare the audio file", result), false;
    const AVCodec *aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!aac)
        return error = QStringLiteral("No AAC encoder available"), false;
    codec_ = avcodec_alloc_context3(aac);
    codec_->sample_fmt = AV_SAMPLE_FMT_FLTP; // for one channel the same layout as interleaved float
    codec_->sample_rate = AudioInput::sampleRate;
    av_channel_layout_default(&codec_->ch_layout, 1);
    codec_->bit_rate = bitRate;
    codec_->time_base = AVRational{1, AudioInput::sampleRate};
    if (format_->oformat->flags & AVFMT_GLOBALHEADER)
        codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The fast coder is ample for speech that a recogniser reads, at a fraction of the default's work.
    av_opt_set(codec_->priv_data, "aac_coder", "fast", 0);
    if ((result = avcodec_open2(codec_, aac, nullptr)) < 0)
        return error = describe("Cannot start the AAC encoder", result), false;

    AVStream *stream = avformat_new_stream(format_, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, codec_) < 0)
        return error = QStringLiteral("Cannot prepare the audio stream"), false;
    stream->time_base = codec_->time_base;
    if ((result = avio_open(&format_->pb, file.constData(), AVIO_FLAG_WRITE)) < 0)
        return error = describe("Cannot open the audio file", result), false;
    if ((result = avformat_write_header(format_, nullptr)) < 0)
        return error = describe("Cannot write the audio file", result), false;
    headerWritten_ = true;

    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    frame_->format = codec_->sample_fmt;
    frame_->sample_rate = codec_->sample_rate;
    av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
    pending_.reserve(size_t(codec_->frame_size));
    return true;
}

bool AacFileWriter::write(const float *samples, qsizetype count, QString &error)
{
    if (!headerWritten_)
        return error = QStringLiteral("The audio file is not open"), false;
    const size_t frameSize = size_t(codec_->frame_size);
    while (count > 0) {
        const qsizetype taken = qMin(count, qsizetype(frameSize - pending_.size()));
        pending_.insert(pending_.end(), samples, samples + taken);
        samples += taken;
        count -= taken;
        if (pending_.size() == frameSize && !encodeBuffered(error))
            return false;
    }
    return true;
}

bool AacFileWriter::encodeBuffered(QString &error)
{
    frame_->nb_samples = int(pending_.size());
    int result = av_frame_get_buffer(frame_, 0);
    if (result < 0)
        return error = describe("Cannot encode the audio", result), false;
    std::memcpy(frame_->data[0], pending_.data(), pending_.size() * sizeof(float));
    frame_->pts = nextPts_;
    nextPts_ += frame_->nb_samples;
    pending_.clear();
    const bool encoded = encode(frame_, error);
    av_frame_unref(frame_);
    // av_frame_unref forgets the format; the next buffer needs it again.
    frame_->format = codec_->sample_fmt;
    frame_->sample_rate = codec_->sample_rate;
    av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
    return encoded;
}

bool AacFileWriter::encode(const AVFrame *frame, QString &error)
{
    int result = avcodec_send_frame(codec_, frame);
    if (result < 0)
        return error = describe("Cannot encode the audio", result), false;
    while ((result = avcodec_receive_packet(codec_, packet_)) >= 0) {
        av_packet_rescale_ts(packet_, codec_->time_base, format_->streams[0]->time_base);
        packet_->stream_index = 0;
        result = av_write_frame(format_, packet_);
        av_packet_unref(packet_);
        if (result < 0)
            return error = describe("Cannot write the audio file", result), false;
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
        return error = describe("Cannot encode the audio", result), false;
    return true;
}

bool AacFileWriter::finish(QString &error)
{
    if (!headerWritten_)
        return error = QStringLiteral("The audio file is not open"), false;
    bool ok = (pending_.empty() || encodeBuffered(error)) && encode(nullptr, error);
    if (ok) {
        const int result = av_write_trailer(format_);
        if (result < 0)
            ok = false, error = describe("Cannot complete the audio file", result);
    }
    if (ok && format_->pb) {
        avio_flush(format_->pb);
        if (format_->pb->error < 0)
            ok = false, error = describe("Cannot write the audio file", format_->pb->error);
    }
    close();
    return ok;
}
