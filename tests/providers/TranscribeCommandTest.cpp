#include "support/FakeModelServer.h"
#include "support/FormFields.h"
#include "support/LogRecorder.h"
#include "support/MemorySecrets.h"

#include "app/TranscribeCommand.h"
#include "settings/SettingsManager.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// `glint transcribe` against a local server speaking OpenAI's audio API and Replicate's predictions.

namespace {

using Response = FakeModelServer::Response;

const QByteArray openAIKey = "sk-proj-transcribe-41c0";
const QByteArray replicateToken = "r8_transcribe_77d2";

// A short WAV file: a RIFF header and silence. The services only pass it on.
QByteArray wav()
{
    // Split where a hex escape would swallow the letters after it.
    QByteArray bytes("RIFF\x24\x40\x00\x00"
                     "WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x44\xac\x00\x00\x88\x58\x01\x00\x02\x00\x10\x00"
                     "data\x00\x40\x00\x00",
                     44);
    return bytes + QByteArray(0x4000, '\0');
}

struct Case {
    const char *name;
    QStringList arguments; // "{file}" is a WAV file, "{missing}" a file that does not exist
    QByteArray input;
    QList<Response> answers;
    int status;
    QByteArray output;
    QByteArray errors;         // the start of standard error
    QStringList settings = {}; // transcriptionService, compatibleBaseURL ("{server}"), compatibleTranscriptionModel
};

const QByteArray streamedAnswer = "data: {\"type\":\"transcript.text.delta\",\"delta\":\"What is\"}\n\ndata: "
                                  "{\"type\":\"transcript.text.delta\",\"delta\":\" marked?\"}\n\ndata: "
                                  "{\"type\":\"transcript.text.done\",\"text\":\"What is marked?\"}\n\n";

const Case cases[] = {
    {"OpenAIFromAFile",
     {"--service", "openai", "{file}"},
     {},
     {Response::json(200, R"({"text":" Hello there. "})")},
     0,
     "Hello there.\n",
     ""},
    {"CompatibleStreamedFromStandardInput",
     {"-"},
     wav(),
     {Response::events(streamedAnswer)},
     0,
     "What is marked?\n",
     "",
     {"compatible", "{server}/v1", "whisper-1"}},
    {"ReplicateByItsToken",
     {"--service", "replicate", "{file}"},
     {},
     {Response::json(201, R"({"id":"t","urls":{"get":"{server}/v1/predictions/t"}})"),
      Response::json(200, R"({"status":"succeeded","output":"From Replicate."})")},
     0,
     "From Replicate.\n",
     ""},
    {"NothingSpoken", {"{file}"}, {}, {Response::json(200, R"({"text":""})")}, 1, "", "No speech detected.\n"},
    {"NoServiceSetUp",
     {"--service", "compatible", "{file}"},
     {},
     {},
     1,
     "",
     "For voice, add your server's address in Settings.\n"},
    {"MissingFile", {"{missing}"}, {}, {}, 1, "", "Cannot open {missing}: No such file or directory\n"},
    {"EmptyInput", {"-"}, {}, {}, 1, "", "No audio in standard input\n"},
};

class TranscribeCommandTest : public ::testing::TestWithParam<Case> {};

TEST_P(TranscribeCommandTest, PrintsTheTranscriptOrSaysWhyNot)
{
    const Case &c = GetParam();
    FakeModelServer server;
    QTemporaryDir dir;
    const QString file = dir.filePath(u"question.wav"_qs);
    const QString missing = dir.filePath(u"gone.wav"_qs);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::WriteOnly) && written.write(wav()) > 0);
    written.close();
    const auto fill = [&](QString text) {
        return text.replace(u"{file}"_qs, file)
            .replace(u"{missing}"_qs, missing)
            .replace(u"{server}"_qs, server.baseUrl());
    };
    for (Response answer : c.answers) {
        for (FakeModelServer::Piece &piece : answer.pieces)
            piece.bytes = fill(QString::fromUtf8(piece.bytes)).toUtf8();
        server.enqueue(answer);
    }

    auto secrets = std::make_unique<MemorySecrets>();
    secrets->items->insert(SettingsManager::openAIKeyAccount, QString::fromLatin1(openAIKey));
    SettingsManager settings(dir.filePath(u"glint.conf"_qs), std::move(secrets));
    if (!c.settings.isEmpty()) {
        settings.setTranscriptionService(c.settings[0]);
        settings.setCompatibleBaseURL(fill(c.settings[1]));
        settings.setCompatibleTranscriptionModel(c.settings[2]);
    }
    qputenv("GLINT_OPENAI_BASE_URL", server.baseUrl().toUtf8());
    qputenv("GLINT_REPLICATE_BASE_URL", server.baseUrl().toUtf8());
    // The environment stands in for a keyring without the token.
    if (c.arguments.contains(u"replicate"_qs))
        qputenv("REPLICATE_API_TOKEN", replicateToken);

    QStringList arguments{u"glint"_qs, u"transcribe"_qs};
    for (const QString &argument : c.arguments)
        arguments << fill(argument);
    LogRecorder log;
    QByteArray in = c.input, out, err;
    QBuffer input(&in), output(&out), errors(&err);
    input.open(QIODevice::ReadOnly);
    output.open(QIODevice::WriteOnly);
    errors.open(QIODevice::WriteOnly);
    const int status = TranscribeCommand::run(arguments, settings, input, output, errors);
    for (const char *name : {"GLINT_OPENAI_BASE_URL", "GLINT_REPLICATE_BASE_URL", "REPLICATE_API_TOKEN"})
        qunsetenv(name);

    EXPECT_EQ(status, c.status) << err.toStdString();
    EXPECT_EQ(out, c.output);
    EXPECT_TRUE(err.startsWith(fill(QString::fromUtf8(c.errors)).toUtf8())) << err.toStdString();
    EXPECT_EQ(c.errors.isEmpty(), err.isEmpty()) << err.toStdString();
    const QByteArray everything = out + err + log.lines().join(u'\n').toUtf8();
    EXPECT_FALSE(everything.contains(openAIKey) || everything.contains(replicateToken));
    EXPECT_EQ(server.requests().size(), c.answers.size());

    // The recording goes as it is, named only by its format.
    if (c.answers.isEmpty())
        return;
    const FakeModelServer::Request &upload = server.requests()[0];
    if (upload.path == "/v1/predictions") {
        EXPECT_EQ(upload.headers.value("authorization"), "Bearer " + replicateToken);
        EXPECT_EQ(QJsonDocument::fromJson(upload.body)["input"]["audio"].toString(),
                  u"data:audio/x-wav;base64," + QString::fromLatin1(wav().toBase64()));
        return;
    }
    const FormField sent = formFields(upload).value(u"file"_qs);
    EXPECT_EQ(sent.disposition, R"(form-data; name="file"; filename="audio.wav")");
    EXPECT_EQ(sent.body, wav());
    EXPECT_EQ(upload.headers.contains("authorization"), c.settings.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Transcribe, TranscribeCommandTest, ::testing::ValuesIn(cases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
