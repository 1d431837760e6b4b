#pragma once

#include "session/AnnotationSession.h"
#include "support/MemorySecrets.h"

#include <QHash>
#include <QPromise>
#include <QTemporaryDir>

#include <deque>
#include <memory>
#include <vector>

// Small stand-ins for the session's neighbours. They record what the session asked of them and let a
// test decide when and how captures end.

struct FakeCanvas : OverlayCanvas {
    std::vector<QPointF> begun;
    std::vector<QPointF> extended;
    bool strokeOpen = false;
    int completedStrokes = 0;
    std::optional<std::optional<QRectF>> lastCrop;

    void beginStroke(QPointF point) override;
    void extendStroke(QPointF point) override;
    bool endStroke() override;
    QImage renderToImage(std::optional<QRectF> crop) const override;
};

// What happened to one overlay or panel; kept by FakeWindows after the session has dropped the window.
struct OverlayRecord {
    bool showToolbar = false;
    bool shown = false;
    bool closed = false;
    bool toolbarHidden = false;
    FakeCanvas canvas;
};

struct PanelRecord {
    std::optional<ScreenInfo> screen;
    bool shown = false;
    bool closed = false;
    int broughtToFront = 0;
    int inputFocused = 0;
};

struct FakeOverlay : Overlay {
    FakeOverlay(QRect unionRect, std::shared_ptr<OverlayRecord> record)
        : unionRect_(unionRect)
        , record(std::move(record))
    {
    }
    QRect unionRect_;
    std::shared_ptr<OverlayRecord> record;

    void show() override { record->shown = true; }
    void close() override { record->closed = true; }
    QRect unionRect() const override { return unionRect_; }
    OverlayCanvas *canvas() override { return &record->canvas; }
    QPointF mapFromGlobal(QPointF p) const override { return p - QPointF(unionRect_.topLeft()); }
    void hideToolbar() override { record->toolbarHidden = true; }
};

struct FakePanel : QueryPanel {
    explicit FakePanel(std::shared_ptr<PanelRecord> record)
        : record(std::move(record))
    {
    }
    std::shared_ptr<PanelRecord> record;

    void show() override { record->shown = true; }
    void close() override { record->closed = true; }
    void bringToFront() override { ++record->broughtToFront; }
    void focusInput() override { ++record->inputFocused; }
};

// Two monitors side by side, the right one taller: 0,0 1920x1080 (display 1) and 1920,0 2560x1440 (display 2).
struct FakeScreens : ScreenCatalog {
    QList<ScreenInfo> list = {{QRect(0, 0, 1920, 1080), 1u}, {QRect(1920, 0, 2560, 1440), 2u}};
    QList<ScreenInfo> screens() const override { return list; }
    std::optional<ScreenInfo> mainScreen() const override
    {
        return list.isEmpty() ? std::nullopt : std::optional(list.first());
    }
};

struct FakeWindows : SessionWindows {
    std::vector<std::shared_ptr<OverlayRecord>> overlays;
    std::vector<std::shared_ptr<PanelRecord>> panels;
    QRect unionRect = QRect(0, 0, 4480, 1440);

    std::unique_ptr<Overlay> createOverlay(AnnotationSession &, bool showToolbar) override;
    std::unique_ptr<QueryPanel> createQueryPanel(AnnotationSession &, const std::optional<ScreenInfo> &screen) override;
};

// Every capture stays pending until the test finishes it.
struct FakeCapturer : ScreenCapturer {
    struct Request {
        std::optional<quint32> displayID;
        QImage overlay;
        std::shared_ptr<QPromise<CaptureResult>> promise;
    };
    std::vector<Request> requests;

    QFuture<CaptureResult> captureWithAnnotations(std::optional<quint32> displayID, const QImage &overlay) override;

    // Ends request `index` (default: the latest); the session hears of it once events are processed.
    void succeed(QByteArray bytes, int index = -1);
    void fail(const QString &description, int index = -1);
    void finishCancelled(int index = -1);
    bool isCancelled(int index = -1) const;
    Request &at(int index);
    const Request &at(int index) const;
};

struct FakeFocus : FocusTracker {
    std::optional<FocusRestorationTarget> frontmost;
    std::function<void(const FocusRestorationTarget &)> activated;
    int stops = 0;
    std::vector<FocusRestorationTarget> restored;

    std::optional<FocusRestorationTarget> frontmostTarget() override { return frontmost; }
    void startTracking(std::function<void(const FocusRestorationTarget &)> callback) override
    {
        activated = std::move(callback);
    }
    void stopTracking() override
    {
        activated = nullptr;
        ++stops;
    }
    void restore(const FocusRestorationTarget &target) override { restored.push_back(target); }
};

// Providers whose answers the test feeds by hand. Each stream() call is recorded with what it was sent.
struct ScriptedProviders : LLMProviderFactory {
    struct Call {
        QString provider;
        QString apiKey;
        QString model;
        LLMConversation messages;
        QString systemPrompt;
        std::shared_ptr<LLMAnswerStream> stream;
    };
    std::vector<Call> calls;
    std::vector<std::pair<QString, QByteArray>> prepared; // provider and image of each prepareImage()

    std::unique_ptr<LLMProvider> create(const LLMProviderConfig &config) override;
    void prepareImage(const QString &providerId, const QByteArray &imageData) override
    {
        prepared.emplace_back(providerId, imageData);
    }
    void forgetPreparedImages() override { prepared.clear(); }
    LLMAnswerStream &latest() { return *calls.back().stream; }
};

// A session wired to all the doubles above, with settings in a temporary file and keys in memory.
struct SessionRig {
    FakeWindows windows;
    FakeCapturer capturer;
    FakeScreens screens;
    FakeFocus focus;
    ScriptedProviders providers;
    QTemporaryDir settingsDir;
    std::shared_ptr<MemorySecrets::Items> keys;
    std::unique_ptr<SettingsManager> settings;
    std::unique_ptr<AnnotationSession> session;

    // Answers come from `providerFactory` when given, else from the scripted `providers`.
    explicit SessionRig(LLMProviderFactory *providerFactory = nullptr);

    // Runs queued work (deferred steps, key reads, capture endings, stream fragments).
    static void settle();

    // begin → a stroke on the given point → advanceToQuery; the capture stays pending.
    void openPanel(QPointF point = QPointF(100, 100));
    // openPanel and let the capture succeed with `bytes`.
    void openPanelWithCapture(const QByteArray &bytes = QByteArrayLiteral("PNG-1"));
};
