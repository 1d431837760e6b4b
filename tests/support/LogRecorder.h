#pragma once

#include "log/DebugLog.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// Sends the debug log to a private file for the lifetime of the recorder, so a test can read what was
// logged (without the timestamps).
class LogRecorder {
public:
    LogRecorder() { DebugLog::setFilePath(path()); }
    ~LogRecorder()
    {
        DebugLog::flush();
        DebugLog::setFilePath(QString());
    }

    QString path() const { return dir_.filePath(QStringLiteral("test.log")); }

    // "[category] message" per line, in order.
    QStringList lines() const
    {
        DebugLog::flush();
        QFile file(path());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList result;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts))
            result << line.mid(line.indexOf(u"] [") + 2);
        return result;
    }

    // Lines of one category, without the category.
    QStringList messages(const QString &category) const
    {
        QStringList result;
        const QString prefix = u'[' + category + u"] ";
        for (const QString &line : lines())
            if (line.startsWith(prefix))
                result << line.mid(prefix.size());
        return result;
    }

    bool contains(const QString &category, const QString &message) const
    {
        return messages(category).contains(message);
    }

    void clear() const
    {
        DebugLog::flush();
        QFile::resize(path(), 0);
    }

private:
    QTemporaryDir dir_;
};
