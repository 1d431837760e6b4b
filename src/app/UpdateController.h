#pragma once

#include "providers/BoundedFetch.h"

#include <QObject>
#include <QUrl>
#include <QVersionNumber>

// Looks for a newer release in the appcast named by GLINT_UPDATE_FEED_URL (https, or http on a loopback
// address). Checks once at launch quietly; "Check for Updates..." checks again and tells the result.
class UpdateController : public QObject {
    Q_OBJECT
public:
    static constexpr const char *feedVariable = "GLINT_UPDATE_FEED_URL";
    static constexpr qint64 feedLimit = 4 * 1024 * 1024; // years of releases

    // `current` defaults to this build's version.
    explicit UpdateController(QUrl feed = feedFromEnvironment(), QVersionNumber current = {},
                              QObject *parent = nullptr);

    static QUrl feedFromEnvironment();

    // Starts a check; `tellUser` shows the outcome in a message box.
    void checkForUpdates(bool tellUser = true);

Q_SIGNALS:
    // The sentence shown to the user, also emitted for quiet checks.
    void checked(const QString &result);

private:
    void finish(const BoundedFetch::Reply &reply, bool tellUser);
    void report(const QString &result, const QUrl &link, bool tellUser);

    QUrl feed_;
    QVersionNumber current_;
    BoundedFetch fetch_;
};
