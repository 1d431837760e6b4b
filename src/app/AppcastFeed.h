#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVersionNumber>

#include <optional>

// The newest release announced by an appcast: an RSS feed whose items carry a version, either as
// elements (sparkle:shortVersionString, sparkle:version, version) or as attributes of the enclosure.
struct AppcastRelease {
    QVersionNumber version;
    QString versionText;
    QUrl link;
};

class AppcastFeed {
public:
    AppcastFeed() = delete;

    // The item with the highest version; no value when there is none. `error` tells why a feed could
    // not be read at all.
    static std::optional<AppcastRelease> newestRelease(const QByteArray &xml, QString *error = nullptr);
};
