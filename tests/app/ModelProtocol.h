#pragma once

#include "support/FakeModelServer.h"

#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <ostream>

class SettingsManager;

// One turn of a request, whatever the protocol calls its parts.
struct SentTurn {
    QString role;
    QString text;
    QImage image; // null when the turn carries none
};

struct SentRequest {
    QString model;
    int maxTokens = 0;
    bool stream = false;
    QString system;
    QList<SentTurn> turns;
};

// A model service's protocol as the local stand-in speaks it: how its answers stream and how the requests
// the application sends it read.
struct ModelProtocol {
    using Piece = FakeModelServer::Piece;

    const char *name;
    const char *provider; // the stored provider choice
    const char *model;
    void (SettingsManager::*setModel)(const QString &);
    const QString *keyAccount;
    const char *baseUrlVariable;
    const char *path;
    QMap<QByteArray, QByteArray> (*headers)(const QByteArray &key);
    QList<Piece> (*answer)(const QStringList &fragments);
    SentRequest (*read)(const QJsonObject &body);

    static const ModelProtocol anthropic; // Messages
    static const ModelProtocol openAI;    // Chat Completions, also of compatible servers

    friend void PrintTo(const ModelProtocol &protocol, std::ostream *out) { *out << protocol.name; }
};
