#include "SessionDoubles.h"

#include <QCoreApplication>

void FakeCanvas::beginStroke(QPointF point)
{
    begun.push_back(point);
    strokeOpen = true;
}

void FakeCanvas::extendStroke(QPointF point)
{
    if (strokeOpen)
        extended.push_back(point);
}

bool FakeCanvas::endStroke()
{
    if (!strokeOpen)
        return false;
    strokeOpen = false;
    ++completedStrokes;
    return true;
}

QImage FakeCanvas::renderToImage(std::optional<QRectF> crop) const
{
    const_cast<FakeCanvas *>(this)->lastCrop.emplace(crop);
    // Tiny: what matters to the session is which rectangle was asked for, not the pixels.
    QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

std::unique_ptr<Overlay> FakeWindows::createOverlay(AnnotationSession &, bool showToolbar)
{
    overlays.push_back(std::make_shared<OverlayRecord>());
    overlays.back()->showToolbar = showToolbar;
    return std::make_unique<FakeOverlay>(unionRect, overlays.back());
}

std::unique_ptr<QueryPanel> FakeWindows::createQueryPanel(AnnotationSession &, const std::optional<ScreenInfo> &screen)
{
    panels.push_back(std::make_shared<PanelRecord>());
    panels.back()->screen = screen;
    return std::make_unique<FakePanel>(panels.back());
}

QFuture<CaptureResult> FakeCapturer::captureWithAnnotations(std::optional<quint32> displayID, const QImage &overlay)
{
    auto promise = std::make_shared<QPromise<CaptureResult>>();
    promise->start();
    requests.push_back({displayID, overlay, promise});
    return promise->future();
}

FakeCapturer::Request &FakeCapturer::at(int index)
{
    return requests.at(index < 0 ? requests.size() - 1 : size_t(index));
}

const FakeCapturer::Request &FakeCapturer::at(int index) const
{
    return requests.at(index < 0 ? requests.size() - 1 : size_t(index));
}

void FakeCapturer::succeed(QByteArray bytes, int index)
{
    QPromise<CaptureResult> &promise = *at(index).promise;
    promise.addResult(CaptureResult{std::move(bytes), std::nullopt});
    promise.finish();
}

void FakeCapturer::fail(const QString &description, int index)
{
    QPromise<CaptureResult> &promise = *at(index).promise;
    promise.addResult(CaptureResult{{}, description});
    promise.finish();
}

void FakeCapturer::finishCancelled(int index)
{
    at(index).promise->finish();
}

bool FakeCapturer::isCancelled(int index) const
{
    return at(index).promise->isCanceled();
}

namespace {

class ScriptedProvider : public LLMProvider {
public:
    ScriptedProvider(ScriptedProviders &owner, QString id, QString key, QString model)
        : owner_(owner)
        , id_(std::move(id))
        , key_(std::move(key))
        , model_(std::move(model))
    {
    }
    QString id() const override { return id_; }
    QString displayName() const override { return id_; }
    std::shared_ptr<LLMAnswerStream> stream(const LLMConversation &messages, const QString &systemPrompt) override
    {
        auto stream = LLMAnswerStream::create();
        owner_.calls.push_back({id_, key_, model_, messages, systemPrompt, stream});
        return stream;
    }

private:
    ScriptedProviders &owner_;
    QString id_, key_, model_;
};

} // namespace

std::unique_ptr<LLMProvider> ScriptedProviders::create(const LLMProviderConfig &config)
{
    return std::make_unique<ScriptedProvider>(*this, config.id, config.apiKey, config.model);
}

SessionRig::SessionRig(LLMProviderFactory *providerFactory)
{
    auto secrets = std::make_unique<MemorySecrets>();
    keys = secrets->items;
    settings = std::make_unique<SettingsManager>(settingsDir.filePath(u"glint.conf"_qs), std::move(secrets));
    session = std::make_unique<AnnotationSession>(
        SessionNeighbours{&windows, &capturer, &screens, &focus, providerFactory ? providerFactory : &providers});
    session->setSettings(settings.get());
}

void SessionRig::settle()
{
    // Two rounds: an ending may post further work (a finished capture resumes a waiting question).
    for (int i = 0; i < 2; ++i) {
        SettingsManager::waitForKeychain();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

void SessionRig::openPanel(QPointF point)
{
    session->begin(true);
    session->noteDrawingBegan(point);
    session->advanceToQuery();
}

void SessionRig::openPanelWithCapture(const QByteArray &bytes)
{
    openPanel();
    capturer.succeed(bytes);
    settle();
}
