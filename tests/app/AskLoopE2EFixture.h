#pragma once

#include "DeskPictures.h"
#include "GlintE2EFixture.h"
#include "ModelProtocol.h"
#include "capture/X11Desk.h"
#include "support/FakeModelServer.h"

#include <optional>

// The whole application on the two-monitor test desk, asked through a local stand-in for the model service
// in the protocol of the test's parameter.
class AskLoopE2EFixture : public GlintE2EFixture, public ::testing::WithParamInterface<ModelProtocol> {
protected:
    FakeModelServer server;
    X11Desk desk;

    // Chooses the protocol's provider and model and adds guidance, as the settings window would; the
    // system prompt the application should send.
    QString writeSettings(const ModelProtocol &protocol);

    // The hotkey's grab is taken shortly after launch, so it is pressed until a new session begins.
    bool pressHotkeyUntilASessionBegins();

    // Starts the application, begins a session with the hotkey and draws `stroke` under the frozen overlay,
    // whose first stroke decides the screen.
    bool strokeUnderTheOverlay(const QList<QPoint> &stroke);
    // The same in the application already running.
    bool strokeInANewSession(const QList<QPoint> &stroke);
    std::optional<QRect> panelWindow() const;

    // The panel, once it has stopped moving and growing.
    std::optional<QRect> settledPanel();
    QStringList snapshots() const;
    void typeQuestion(const QString &question);
    std::optional<SentRequest> waitForRequest(qsizetype count, const ModelProtocol &protocol, const QByteArray &key);

    // Selects the first answer in the panel and copies it, as a user would; the copied rich text.
    QString copyFirstAnswer();
    void TearDown() override;
};
