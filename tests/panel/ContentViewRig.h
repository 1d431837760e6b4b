#pragma once

#include "PanelTestSupport.h"
#include "session/SessionDoubles.h"

#include "panel/QueryPanelContentView.h"
#include "providers/ModelCatalog.h"

#include <memory>
#include <optional>

// A content view on a session whose panel has opened with an Anthropic key: with `capture` delivered,
// or with the capture still pending when there is none.
struct ContentViewRig {
    // Answers come from `providers` when given, else from the rig's scripted ones.
    explicit ContentViewRig(LLMProviderFactory *providers = nullptr)
        : rig(providers)
    {
    }

    SessionRig rig;
    ModelCatalog models;
    std::unique_ptr<QueryPanelContentView> view;

    void open(const std::optional<QByteArray> &capture = pngOfSize(400, 300), TranscriptionService *voice = nullptr)
    {
        rig.keys->insert(SettingsManager::anthropicKeyAccount, u"sk-ant"_qs);
        if (capture)
            rig.openPanelWithCapture(*capture);
        else
            rig.openPanel();
        view = std::make_unique<QueryPanelContentView>(*rig.session, models, voice);
        view->resize(620, 130);
        view->show();
        settle();
    }
    void settle()
    {
        SessionRig::settle();
        view->flushPendingUpdates();
    }
};
