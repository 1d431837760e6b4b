#include "providers/LLMEndpoint.h"

#include <QHostAddress>

namespace {

bool isLoopback(const QString &host)
{
    return host.compare(u"localhost", Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback();
}

} // namespace

LLMEndpoint LLMEndpoint::resolve(const char *environmentVariable, const QString &defaultBaseUrl, const QString &path)
{
    const QString configured = qEnvironmentVariable(environmentVariable);
    return make(configured.isEmpty() ? defaultBaseUrl : configured, path, false,
                QString::fromLatin1(environmentVariable));
}

LLMEndpoint LLMEndpoint::fromSettings(const QString &baseUrl, const QString &path, bool allowUnencrypted)
{
    if (baseUrl.trimmed().isEmpty()) {
        LLMEndpoint endpoint;
        endpoint.error_ = QStringLiteral("No server address configured. Add it in Settings.");
        return endpoint;
    }
    return make(baseUrl.trimmed(), path, allowUnencrypted, QStringLiteral("Settings"));
}

LLMEndpoint LLMEndpoint::make(const QString &base, const QString &path, bool allowUnencrypted, const QString &origin)
{
    const QUrl baseUrl(base, QUrl::StrictMode);
    LLMEndpoint endpoint;
    const QString scheme = baseUrl.scheme().toLower();
    if (!baseUrl.isValid() || baseUrl.host().isEmpty() || (scheme != u"https" && scheme != u"http")) {
        endpoint.error_ =
            u"Invalid service address in " + origin + u": " + baseUrl.toDisplayString(QUrl::RemoveUserInfo);
        return endpoint;
    }
    if (!allowUnencrypted && !carriesKeysSafely(baseUrl)) {
        endpoint.error_ = u"Refusing to send the request unencrypted to " + baseUrl.host() +
                          u": plain http is allowed only for loopback addresses, use https";
        if (origin == u"Settings")
            endpoint.error_ += QStringLiteral(" or allow an unencrypted connection to this server in Settings");
        return endpoint;
    }
    endpoint.url_ = baseUrl;
    QString basePath = baseUrl.path();
    while (basePath.endsWith(u'/'))
        basePath.chop(1);
    endpoint.url_.setPath(basePath + path);
    return endpoint;
}

bool LLMEndpoint::carriesKeysSafely(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return !url.host().isEmpty() && (scheme == u"https" || (scheme == u"http" && isLoopback(url.host())));
}
