#pragma once

#include "panel/PanelServices.h"
#include "panel/PanelSnapshots.h"
#include "session/QueryPanel.h"
#include "session/ScreenCatalog.h"

#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>
#include <optional>

class AnnotationSession;
class QPropertyAnimation;
class QScreen;
class QWidget;
class QueryPanelContentView;
class TranscriptionService;
class WindowPlacement;

// The floating panel of one query phase: placed at the bottom centre of the session's screen, above the
// overlay and its toolbar, sliding in, fading out and following the height its content asks for.
//
// Found by object names: the window "queryPanel"; in it the field "queryField" (a QueryInputTextView)
// with its editable "queryText", the transcript "transcript" (a QScrollArea) whose rows are
// "transcriptRow", and the buttons "sendButton", "micButton", "modelButton" and "cancelButton". With
// GLINT_ARTIFACTS_DIR set, pictures of the panel are saved there as it opens and changes state.
class QueryPanelController : public QObject, public QueryPanel {
    Q_OBJECT
public:
    static constexpr int panelWidth = 620;
    static constexpr int initialHeight = 130;
    static constexpr int minimumHeight = 130;
    static constexpr int maximumHeight = 720;
    static constexpr int bottomGap = 16;
    static constexpr int slideDistance = 18;

    // `openSettings` runs when the model pill is clicked while no API key is stored.
    QueryPanelController(AnnotationSession &session, const std::optional<ScreenInfo> &screen, PanelServices services,
                         std::function<void()> openSettings = {});
    ~QueryPanelController() override;

    void show() override;
    void close() override;
    void bringToFront() override;
    void focusInput() override;

    // Without a compositor the panel's translucent corners would paint black: they are cut off instead.
    void setCornersMasked(bool masked);
    // Where the compositor places windows itself: asks it for the panel's place and the keyboard.
    void setPlacement(std::unique_ptr<WindowPlacement> placement);

    QWidget *window() const { return window_; }
    QueryPanelContentView *contentView() const { return contentView_; }

    // The monitor showing `screen`; else the primary one; else the first one.
    static QScreen *screenFor(const std::optional<ScreenInfo> &screen);
    // Top-left corner of a new panel: centred on the visible area, 16 above its bottom.
    static QPoint panelOrigin(const QRect &visibleFrame);
    static int clampedHeight(int requested);

private:
    void fadeIn(QObject *target, const QByteArray &property);
    void animatePanel(int height);
    QRect restingFrame() const;
    void logPlacement(QScreen *screen, QPoint origin);

    AnnotationSession &session_;
    std::unique_ptr<TranscriptionService> transcriptionService_; // the panel's own: its recordings go with it
    QPointer<QWidget> window_;
    QPointer<QueryPanelContentView> contentView_;
    QPointer<QPropertyAnimation> slide_;
    QPointer<QPropertyAnimation> resize_;
    std::unique_ptr<PanelSnapshots> snapshots_;
    std::unique_ptr<WindowPlacement> placement_;
    bool closing_ = false;
    bool revealed_ = false; // the content, once the compositor has placed the panel
};
