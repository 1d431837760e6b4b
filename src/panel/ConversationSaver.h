#pragma once

#include <QObject>
#include <QPointer>

class AnnotationSession;
class QWidget;

// "Save Conversation…": asks where, starting in the user's documents folder, then writes the session's
// conversation there. A failure is shown in a message box ("saveConversationError"); the conversation
// stays in the panel to be saved elsewhere.
class ConversationSaver : public QObject {
    Q_OBJECT
public:
    ConversationSaver(AnnotationSession &session, QObject *parent = nullptr);

    // Opens the save dialog ("saveConversationDialog") over `window`; it returns at once.
    void save(QWidget *window);

private:
    void write(const QString &path, QWidget *window);

    QPointer<AnnotationSession> session_;
};
