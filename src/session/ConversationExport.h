#pragma once

#include "session/ChatMessage.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// A conversation kept as one Markdown file: the questions, the answers with the model that wrote them, and
// the captures as PNG files in a folder beside it ("<name> captures"), linked from the file. Written only
// when the user asks; files already there are replaced, nothing else is removed.
class ConversationExport {
public:
    explicit ConversationExport(QList<ChatMessage> messages, QDateTime savedAt = QDateTime::currentDateTime());

    // Whether there is anything worth saving: a question or an answer.
    static bool hasContent(const QList<ChatMessage> &messages);
    // The file name offered in the save dialog.
    static QString suggestedFileName(const QDateTime &savedAt);
    // The folder the captures of a file at `markdownPath` go to.
    static QString capturesFolder(const QString &markdownPath);

    // The file's text, linking captures into the folder named `capturesFolderName` beside it.
    QString markdown(const QString &capturesFolderName) const;
    // Writes the file and its captures; what went wrong, if anything, in words for the user.
    std::optional<QString> writeTo(const QString &markdownPath) const;

private:
    QList<ChatMessage> messages_;
    QDateTime savedAt_;
};
