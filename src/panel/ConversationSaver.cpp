#include "panel/ConversationSaver.h"

#include "log/DebugLog.h"
#include "session/AnnotationSession.h"
#include "session/ConversationExport.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("QueryPanel"), message);
}

} // namespace

ConversationSaver::ConversationSaver(AnnotationSession &session, QObject *parent)
    : QObject(parent)
    , session_(&session)
{
}

void ConversationSaver::save(QWidget *window)
{
    if (!session_ || !ConversationExport::hasContent(session_->chatMessages()))
        return;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    auto *dialog =
        new QFileDialog(window, QStringLiteral("Save Conversation"),
                        QDir(folder).filePath(ConversationExport::suggestedFileName(QDateTime::currentDateTime())),
                        QStringLiteral("Markdown (*.md)"));
    dialog->setObjectName(QStringLiteral("saveConversationDialog"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("md"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this,
            [this, window = QPointer<QWidget>(window)](const QString &path) { write(path, window); });
    dialog->open();
}

void ConversationSaver::write(const QString &path, QWidget *window)
{
    if (!session_)
        return;
    const std::optional<QString> error = ConversationExport(session_->chatMessages()).writeTo(path);
    if (!error) {
        log(u"Conversation saved messages=" + QString::number(session_->chatMessages().size()));
        return;
    }
    log(u"Conversation not saved error=" + *error);
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Conversation Not Saved"),
                                *error + u"\n\nThe conversation is still here: save it to another folder.",
                                QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("saveConversationError"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
