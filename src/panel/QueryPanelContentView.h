#pragma once

#include "session/ChatMessage.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <memory>

class AnnotationSession;
class HoldToRecordButton;
class HoldToRecordController;
class ImagePreviewWindowController;
class CompatibleModelList;
class ModelPillButton;
class QAction;
class QLabel;
class QMenu;
class QScrollArea;
class QScrollBar;
class QToolButton;
class QVBoxLayout;
class QueryChatMessageView;
class QueryInputTextView;
class RoundedBackgroundView;
class SettingsManager;
class SpinnerView;
class TranscriptionService;

// Everything inside the query panel: the transcript, the input row (or the banner asking for another
// drawing) and the footer. It follows the session, submits questions, lets the user pick the model and
// reports the panel height it needs through heightChanged().
//
// Transcript changes are applied at most once per frame: while an answer streams only its row is
// updated, so a fragment costs the same however long the conversation is.
class QueryPanelContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int transcriptMaxHeight = 456;
    static constexpr int minimumInputRowHeight = 88;
    static constexpr int footerHeight = 42;
    static constexpr int panelHeightCap = 720;

    static constexpr int voiceMessageMs = 5000; // how long a microphone failure stays in the footer

    // Without a transcription service the panel takes typed questions only.
    explicit QueryPanelContentView(AnnotationSession &session, TranscriptionService *transcriptionService = nullptr,
                                   QWidget *parent = nullptr);
    ~QueryPanelContentView() override;

    QueryInputTextView *queryField() const { return queryField_; }
    QToolButton *sendButton() const { return sendButton_; }
    ModelPillButton *modelButton() const { return modelButton_; }
    QScrollArea *transcriptScrollView() const { return transcriptScrollView_; }
    RoundedBackgroundView *inputContainer() const { return inputContainer_; }
    RoundedBackgroundView *drawingHintContainer() const { return drawingHintContainer_; }
    SpinnerView *preparingSpinner() const { return preparingSpinner_; }
    SpinnerView *transcribingSpinner() const { return transcribingSpinner_; }
    QLabel *voiceMessageLabel() const { return voiceMessageLabel_; }
    HoldToRecordButton *micButton() const { return micButton_; }
    HoldToRecordController *holdToRecord() const { return holdToRecord_; }
    // The microphone shows while a service is there to transcribe.
    void setTranscriptionService(TranscriptionService *service);
    const QList<QueryChatMessageView *> &rows() const { return rows_; }
    ImagePreviewWindowController *imagePreviewController() const { return imagePreviewController_.get(); }
    int reportedHeight() const { return reportedHeight_; }

    // Applies the session's pending changes now rather than at the next frame.
    void flushPendingUpdates();

    // The model menu as the pill would show it; the caller owns it.
    QMenu *createModelMenu();
    static QString modelDisplayName(const QString &model);

public Q_SLOTS:
    void submitQuery();
    void cancelPressed();
    void showModelMenu();
    void selectModel(QAction *item);
    void openImagePreview(const QByteArray &data, const QString &title);

Q_SIGNALS:
    void heightChanged(int height);
    void settingsRequested(); // the pill was clicked while no API key is stored

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupHierarchy();
    QWidget *setupTranscriptSection();
    QWidget *setupInputRow();
    QWidget *setupFooterRow();
    RoundedBackgroundView *setupDrawingHintBanner();
    void setupObservers();

    void scheduleTranscriptRefresh();
    void updateTranscript();
    void syncRows();
    void refreshRow(const QUuid &id);
    QueryChatMessageView *makeRow(const ChatMessage &message);
    void resizeDocument();
    void scrollTranscriptToBottom();
    void placeTranscriptOverlays();

    void updateState();
    void updateSendButton();
    void updateInputBorder();
    void updatePanelHeight();
    void updateMicrophoneAppearance();
    void showVoiceMessage(const QString &text);
    void updateModelButtonTitle();
    SettingsManager *settings() const;
    bool hasKey(const QString &account) const;
    bool hasProvider() const;
    void fetchCompatibleModels();

    QPointer<AnnotationSession> session_;

    RoundedBackgroundView *cardView_ = nullptr;
    QScrollArea *transcriptScrollView_ = nullptr;
    QWidget *transcriptDocumentView_ = nullptr;
    QVBoxLayout *transcriptStack_ = nullptr;
    QWidget *transcriptBottomFade_ = nullptr;
    QWidget *transcriptDivider_ = nullptr;
    QScrollBar *transcriptScroller_ = nullptr;
    QWidget *inputRow_ = nullptr;
    RoundedBackgroundView *inputContainer_ = nullptr;
    QueryInputTextView *queryField_ = nullptr;
    QToolButton *sendButton_ = nullptr;
    ModelPillButton *modelButton_ = nullptr;
    CompatibleModelList *compatibleModels_ = nullptr;
    RoundedBackgroundView *drawingHintContainer_ = nullptr;
    SpinnerView *preparingSpinner_ = nullptr;
    QLabel *preparingLabel_ = nullptr;
    HoldToRecordButton *micButton_ = nullptr;
    HoldToRecordController *holdToRecord_ = nullptr;
    SpinnerView *transcribingSpinner_ = nullptr;
    QLabel *transcribingLabel_ = nullptr;
    QLabel *voiceMessageLabel_ = nullptr;
    QTimer voiceMessageTimer_;

    QList<QueryChatMessageView *> rows_;
    QHash<QUuid, QueryChatMessageView *> rowsByID_;
    bool rowsOutdated_ = true;
    QSet<QUuid> changedMessages_;
    QTimer transcriptTimer_;
    QElapsedTimer sinceTranscriptUpdate_;
    QTimer stateTimer_;

    std::unique_ptr<ImagePreviewWindowController> imagePreviewController_;
    int reportedHeight_ = 0;
};
