#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class AnnotationSession;
class ConversationSaver;
class ModelCatalog;
class QAction;
class ModelPicker;
class QueryInputRow;
class QueryInputTextView;
class QueryPanelFooter;
class RoundedBackgroundView;
class TranscriptListView;
class TranscriptionService;

// Everything inside the query panel, on one card: the transcript, the input row (or the banner asking
// for another drawing) with the model pill, and the footer. It follows the session and reports the panel
// height it needs through heightChanged(). Its actions, in its context menu and the answers' menus:
// "Save Conversation…" (Ctrl+S) and "Copy Last Answer" (Ctrl+Shift+C).
class QueryPanelContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int transcriptMaxHeight = 456;
    static constexpr int minimumInputRowHeight = 88;
    static constexpr int panelHeightCap = 720;

    // Without a transcription service the panel takes typed questions only.
    QueryPanelContentView(AnnotationSession &session, ModelCatalog &models,
                          TranscriptionService *transcriptionService = nullptr, QWidget *parent = nullptr);

    TranscriptListView *transcript() const { return transcript_; }
    QueryInputRow *inputRow() const { return inputRow_; }
    QueryPanelFooter *footer() const { return footer_; }
    ModelPicker *modelPicker() const { return modelPicker_; }
    QAction *saveAction() const { return saveAction_; }
    QAction *copyLastAnswerAction() const { return copyLastAnswerAction_; }
    QueryInputTextView *queryField() const;
    // Without a service, `missing` says in one sentence what voice questions need.
    void setTranscriptionService(TranscriptionService *service, const QString &missing = {});
    int reportedHeight() const { return reportedHeight_; }

    // Applies the session's pending changes now rather than at the next frame.
    void flushPendingUpdates();

Q_SIGNALS:
    void heightChanged(int height);
    void settingsRequested(); // the pill was clicked while no API key is stored

private:
    void updateState();
    void updatePanelHeight();
    void updateActions();
    void copyLastAnswer();

    QPointer<AnnotationSession> session_;
    ModelPicker *modelPicker_ = nullptr;
    TranscriptListView *transcript_ = nullptr;
    QueryInputRow *inputRow_ = nullptr;
    QueryPanelFooter *footer_ = nullptr;
    QAction *saveAction_ = nullptr;
    QAction *copyLastAnswerAction_ = nullptr;
    ConversationSaver *saver_ = nullptr;
    QTimer stateTimer_;
    int reportedHeight_ = 0;
};
