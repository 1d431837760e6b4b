#pragma once

#include "providers/BoundedFetch.h"

#include <QObject>
#include <QStringList>

// The models an OpenAI-compatible server offers (GET <base URL>/models), for the model menu. A server
// that does not answer, or answers with something else, offers none; the menu then shows the configured
// model alone. Main thread.
class CompatibleModelList : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 bodyLimit = 4 * 1024 * 1024; // thousands of models

    explicit CompatibleModelList(QObject *parent = nullptr);

    // Replaces any fetch under way. Without a key no Authorization header is sent.
    void fetch(const QString &baseURL, bool allowUnencrypted, const QString &apiKey);
    const QStringList &models() const { return models_; }

    // The model identifiers of a list document, in the server's order.
    static QStringList parse(const QByteArray &document);

Q_SIGNALS:
    void modelsChanged();

private:
    void received(const BoundedFetch::Reply &reply);

    BoundedFetch fetch_;
    QStringList models_;
};
