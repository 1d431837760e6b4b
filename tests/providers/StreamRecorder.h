#pragma once

#include "providers/LLMAnswerStream.h"

#include <QObject>
#include <QStringList>
#include <QtCore/qtestsupport_core.h>

#include <memory>
#include <optional>

// Collects what an answer stream delivers on the test's thread.
class StreamRecorder {
public:
    explicit StreamRecorder(std::shared_ptr<LLMAnswerStream> stream)
        : stream_(std::move(stream))
    {
        QObject::connect(stream_.get(), &LLMAnswerStream::fragmentReceived, &context_,
                         [this](const QString &fragment) { fragments << fragment; });
        QObject::connect(stream_.get(), &LLMAnswerStream::finished, &context_,
                         [this](const LLMAnswerEnding &ending) { finished = ending; });
        QObject::connect(stream_.get(), &LLMAnswerStream::failed, &context_,
                         [this](const LLMStreamError &e) { error = e; });
    }

    bool waitForEnd(int timeoutMs = 15000)
    {
        return QTest::qWaitFor([this] { return finished || error.has_value(); }, timeoutMs);
    }

    QString errorText() const { return error ? error->description : QString(); }

    QStringList fragments;
    std::optional<LLMAnswerEnding> finished; // how it ended, once it ended in good order
    std::optional<LLMStreamError> error;

private:
    std::shared_ptr<LLMAnswerStream> stream_;
    QObject context_;
};
