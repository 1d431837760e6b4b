#include "AudioTestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryFile>
#include <QtEndian>

#include <cmath>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

// What a decoded recording holds.
struct DecodedAudio {
    QString codec;
    int channels = 0;
    int sampleRate = 0;
    double seconds = 0;
    double rms = 0; // over the whole recording, samples in [-1, 1]
};

std::optional<DecodedAudio> decodeAudio(const QByteArray &bytes)
{
    QTemporaryFile file;
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
        return std::nullopt;
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, QFile::encodeName(file.fileName()).constData(), nullptr, nullptr) < 0)
        return std::nullopt;
    std::optional<DecodedAudio> result;
    const AVCodec *codec = nullptr;
    const int index = avformat_find_stream_info(format, nullptr) >= 0
                          ? av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0)
                          : -1;
    AVCodecContext *decoder = index >= 0 ? avcodec_alloc_context3(codec) : nullptr;
    if (decoder && avcodec_parameters_to_context(decoder, format->streams[index]->codecpar) >= 0 &&
        avcodec_open2(decoder, codec, nullptr) >= 0) {
        DecodedAudio audio{QString::fromLatin1(codec->name), decoder->ch_layout.nb_channels, decoder->sample_rate};
        AVPacket *packet = av_packet_alloc();
        AVFrame *frame = av_frame_alloc();
        double sumOfSquares = 0;
        qint64 samples = 0;
        const auto drain = [&] {
            while (avcodec_receive_frame(decoder, frame) >= 0) {
                // The AAC decoder gives planar float; the first channel is enough for a mono file.
                const auto *data = reinterpret_cast<const float *>(frame->data[0]);
                for (int i = 0; i < frame->nb_samples; ++i) {
                    sumOfSquares += double(data[i]) * data[i];
                }
                samples += frame->nb_samples;
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0)
                drain();
            av_packet_unref(packet);
        }
        avcodec_send_packet(decoder, nullptr);
        drain();
        audio.seconds = audio.sampleRate > 0 ? double(samples) / audio.sampleRate : 0;
        audio.rms = samples > 0 ? std::sqrt(sumOfSquares / double(samples)) : 0;
        result = audio;
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return result;
}

} // namespace

::testing::AssertionResult carriesSpokenAudio(const QByteArray &predictionRequestBody, double seconds, double slack)
{
    const QString audio = QJsonDocument::fromJson(predictionRequestBody)["input"]["audio"].toString();
    const QString prefix = u"data:audio/m4a;base64,"_qs;
    if (!audio.startsWith(prefix))
        return ::testing::AssertionFailure() << "no m4a data URI: " << audio.left(40).toStdString();
    return isSpokenAudio(QByteArray::fromBase64(audio.mid(prefix.size()).toLatin1()), seconds, slack);
}

::testing::AssertionResult isSpokenAudio(const QByteArray &m4a, double seconds, double slack)
{
    const std::optional<DecodedAudio> decoded = decodeAudio(m4a);
    if (!decoded)
        return ::testing::AssertionFailure() << "undecodable audio";
    if (decoded->codec != u"aac" || decoded->channels != 1 || decoded->sampleRate != 44100)
        return ::testing::AssertionFailure() << decoded->codec.toStdString() << ' ' << decoded->channels << " channels "
                                             << decoded->sampleRate << " Hz";
    if (decoded->seconds < seconds || decoded->seconds > seconds + slack)
        return ::testing::AssertionFailure() << decoded->seconds << " s recorded of " << seconds << " s played";
    if (decoded->rms <= 0.02)
        return ::testing::AssertionFailure() << "silence (rms " << decoded->rms << ')';
    return ::testing::AssertionSuccess();
}

std::optional<Speech> makeSpeech(const QString &directory, const QString &text)
{
    const QString path = QDir(directory).filePath(u"speech.wav"_qs);
    if (QProcess::execute(u"espeak-ng"_qs, {u"-w"_qs, path, text}) != 0)
        return std::nullopt;
    QFile wav(path);
    if (!wav.open(QIODevice::ReadOnly))
        return std::nullopt;
    // espeak-ng writes a plain 44-byte header: mono 16-bit PCM at the rate stored at offset 24.
    const QByteArray header = wav.read(44);
    if (header.size() < 44)
        return std::nullopt;
    const quint32 rate = qFromLittleEndian<quint32>(header.constData() + 24);
    const double seconds = double(wav.size() - 44) / 2.0 / rate;
    return Speech{path, seconds};
}

bool playIntoMicrophone(const QString &path)
{
    return QProcess::execute(u"paplay"_qs, {u"--device=glint_speaker"_qs, path}) == 0;
}

void ToneInput::start(SamplesHandler onSamples, FailureHandler onFailure)
{
    if (!failure_.isEmpty()) {
        onFailure(failure_);
        return;
    }
    std::vector<float> tone(size_t(seconds_ * sampleRate));
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5f * float(std::sin(2 * M_PI * 440 * double(i) / sampleRate));
    onSamples(tone.data(), qsizetype(tone.size()));
}
