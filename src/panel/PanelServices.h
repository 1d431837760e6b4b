#pragma once

class ModelCatalog;
class TranscriptionServiceFactory;

// What the query panel is given rather than makes: the models it offers, and where its service for
// spoken questions comes from (none: typed questions only).
struct PanelServices {
    ModelCatalog &models;
    TranscriptionServiceFactory *transcription = nullptr;
};
