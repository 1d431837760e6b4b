#include "session/ConversationExport.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QUrl>

namespace {

bool isCapture(const ChatMessage &message)
{
    return message.role == ChatMessageRole::User && message.attachment;
}

QString captureFileName(int number)
{
    return u"capture-" + QString::number(number) + u".png";
}

// Leading spaces stay: they may indent a code block.
QString withoutTrailingSpace(QString text)
{
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

// Captures arrive as PNG; anything else Qt reads is converted, so the links name what they say.
QByteArray asPng(const QByteArray &data)
{
    const QImage image = data.startsWith("\x89PNG\r\n\x1a\n") ? QImage() : QImage::fromData(data);
    if (image.isNull())
        return data;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

std::optional<QString> write(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit())
        return std::nullopt;
    return u"Could not write “" + QDir::toNativeSeparators(path) + u"”: " + file.errorString() + u'.';
}

} // namespace

ConversationExport::ConversationExport(QList<ChatMessage> messages, QDateTime savedAt)
    : messages_(std::move(messages))
    , savedAt_(std::move(savedAt))
{
}

bool ConversationExport::hasContent(const QList<ChatMessage> &messages)
{
    return std::any_of(messages.begin(), messages.end(),
                       [](const ChatMessage &message) { return !message.text.isEmpty(); });
}

QString ConversationExport::suggestedFileName(const QDateTime &savedAt)
{
    return u"Glint conversation " + savedAt.toString(u"yyyy-MM-dd HH.mm"_qs) + u".md";
}

QString ConversationExport::capturesFolder(const QString &markdownPath)
{
    const QFileInfo file(markdownPath);
    return file.dir().filePath(file.completeBaseName() + u" captures");
}

QString ConversationExport::markdown(const QString &capturesFolderName) const
{
    const QString folderLink = QString::fromUtf8(QUrl::toPercentEncoding(capturesFolderName));
    QString text = u"# Glint conversation\n\nSaved " + savedAt_.toString(u"yyyy-MM-dd HH:mm"_qs) + u".\n";
    std::optional<ChatMessageRole> heading;
    int captures = 0;
    for (const ChatMessage &message : messages_) {
        if (message.text.isEmpty() && message.note.isEmpty() && !isCapture(message))
            continue;
        // A capture and the question after it sit under one heading; every answer has its own.
        if (message.role == ChatMessageRole::Assistant)
            text += message.model.isEmpty() ? u"\n## Answer\n"_qs : u"\n## Answer (" + message.model + u")\n";
        else if (heading != ChatMessageRole::User)
            text += u"\n## Question\n"_qs;
        heading = message.role;
        if (isCapture(message)) {
            ++captures;
            text += u"\n![Capture " + QString::number(captures) + u"](" + folderLink + u'/' +
                    captureFileName(captures) + u")\n";
        }
        if (!message.text.isEmpty())
            text += u'\n' + withoutTrailingSpace(message.text) + u'\n';
        if (!message.note.isEmpty())
            text += u"\n*" + message.note + u"*\n";
    }
    return text;
}

std::optional<QString> ConversationExport::writeTo(const QString &markdownPath) const
{
    const QString folder = capturesFolder(markdownPath);
    int captures = 0;
    for (const ChatMessage &message : messages_) {
        if (!isCapture(message))
            continue;
        if (captures == 0 && !QDir().mkpath(folder))
            return u"Could not create the folder “" + QDir::toNativeSeparators(folder) + u"”.";
        const QString path = QDir(folder).filePath(captureFileName(++captures));
        if (std::optional<QString> error = write(path, asPng(message.attachment->imageData)))
            return error;
    }
    return write(markdownPath, markdown(QFileInfo(folder).fileName()).toUtf8());
}
