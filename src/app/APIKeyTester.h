#pragma once

#include <QObject>

#include <memory>

class LLMAnswerStream;

// Sends one tiny question with a key through the real provider and says whether an answer began.
class APIKeyTester : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // A new test drops the one still under way.
    void test(const QString &providerId, const QString &apiKey, const QString &model);
    bool isTesting() const { return stream_ != nullptr; }

Q_SIGNALS:
    void finished(bool works, const QString &message);

private:
    void end(bool works, const QString &message);

    std::shared_ptr<LLMAnswerStream> stream_;
};
