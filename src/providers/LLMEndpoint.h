#pragma once

#include <QString>
#include <QUrl>

// Where a provider sends its requests: the public HTTPS service, or a base URL from the environment
// (a local test server or a proxy) with the provider's path appended. Plain http is accepted only for a
// loopback host, so an API key never crosses a network unencrypted.
class LLMEndpoint {
public:
    static LLMEndpoint resolve(const char *environmentVariable, const QString &defaultBaseUrl, const QString &path);
    // A server the user entered in the settings, where they may also allow plain http to other hosts.
    static LLMEndpoint fromSettings(const QString &baseUrl, const QString &path, bool allowUnencrypted);

    bool isUsable() const { return error_.isEmpty(); }
    const QUrl &url() const { return url_; }
    const QString &error() const { return error_; } // why the address is refused; empty when usable

private:
    // Whether an API key may go to `url`: over https, or over plain http to a loopback host.
    static bool carriesKeysSafely(const QUrl &url);
    static LLMEndpoint make(const QString &base, const QString &path, bool allowUnencrypted, const QString &origin);

    QUrl url_;
    QString error_;
};
