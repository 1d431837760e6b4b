#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QScrollArea>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include <memory>

class AnnotationSession;
class ImagePreviewWindowController;
class QScrollBar;
class QVBoxLayout;
class QueryChatMessageView;
struct ChatMessage;

// The panel's transcript ("transcript"): a row ("transcriptRow") per chat message of the session, kept
// scrolled to the newest. Changes are applied at most once per frame: while an answer streams only its
// row is updated, so a fragment costs the same however long the conversation is. Its actions go to every
// row's context menu.
class TranscriptListView : public QScrollArea {
    Q_OBJECT
public:
    explicit TranscriptListView(AnnotationSession &session, QWidget *parent = nullptr);
    ~TranscriptListView() override;

    const QList<QueryChatMessageView *> &rows() const { return rows_; }
    // The height the transcript needs to show all rows at the current width.
    int documentHeight() const;
    ImagePreviewWindowController *imagePreviewController() const { return imagePreviewController_.get(); }

    // Applies the session's pending changes now rather than at the next frame.
    void flushPendingUpdates();

public Q_SLOTS:
    void openImagePreview(const QByteArray &data, const QString &title);

Q_SIGNALS:
    void updated(); // rows came, went or changed, and with them perhaps the height they need

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void scheduleRefresh();
    void applyChanges();
    void syncRows();
    void refreshRow(const QUuid &id);
    QueryChatMessageView *makeRow(const ChatMessage &message);
    int messagesHeight() const;
    void resizeDocument();
    void scrollToBottom();
    void updateFade();
    void placeOverlays();

    QPointer<AnnotationSession> session_;
    QWidget *document_ = nullptr;
    QVBoxLayout *stack_ = nullptr;
    QWidget *bottomFade_ = nullptr;
    QWidget *divider_ = nullptr;
    QScrollBar *scroller_ = nullptr;

    QList<QueryChatMessageView *> rows_;
    QHash<QUuid, QueryChatMessageView *> rowsByID_;
    bool rowsOutdated_ = true;
    QSet<QUuid> changedMessages_;
    QTimer timer_;
    QElapsedTimer sinceUpdate_;

    std::unique_ptr<ImagePreviewWindowController> imagePreviewController_;
};
