#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A whole response body as a service sent it, from the tests' recordings: "anthropic/…" or "openai/…".
inline QByteArray recordedStream(const QString &name)
{
    QFile file(QStringLiteral(GLINT_PROVIDER_TEST_DATA "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
