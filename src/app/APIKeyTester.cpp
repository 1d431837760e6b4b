#include "app/APIKeyTester.h"

#include "providers/StandardProviderFactory.h"

void APIKeyTester::test(const QString &providerId, const QString &apiKey, const QString &model)
{
    if (stream_)
        stream_->disconnect(this);
    LLMProviderConfig config;
    config.id = providerId;
    config.apiKey = apiKey;
    config.model = model;
    std::unique_ptr<LLMProvider> provider = StandardProviderFactory().create(config);
    stream_ = provider->stream({LLMMessage{LLMMessage::Role::User, QStringLiteral("Reply with the word OK."), {}}},
                               QString());
    // The first fragment is proof enough; the rest of the answer is not waited for.
    connect(stream_.get(), &LLMAnswerStream::fragmentReceived, this, [this] { end(true, tr("The key works.")); });
    connect(stream_.get(), &LLMAnswerStream::finished, this, [this] { end(true, tr("The key works.")); });
    connect(stream_.get(), &LLMAnswerStream::failed, this,
            [this](const LLMStreamError &error) { end(false, error.description); });
}

void APIKeyTester::end(bool works, const QString &message)
{
    if (!stream_)
        return;
    stream_->disconnect(this);
    stream_.reset();
    Q_EMIT finished(works, message);
}
