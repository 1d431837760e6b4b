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
    const QString base = configured.isEmpty() ? defaultBaseUrl : configured;
    const QUrl baseUrl(base, QUrl::StrictMode);

    LLMEndpoint endpoint;
    const QString scheme = baseUrl.scheme().toLower();
    if (!baseUrl.isValid() || baseUrl.host().isEmpty() || (scheme != u"https" && scheme != u"http")) {
        endpoint.error_ = u"Invalid service address in " + QString::fromLatin1(environmentVariable) + u": " +
                          baseUrl.toDisplayString(QUrl::RemoveUserInfo);
        return endpoint;
    }
    if (!carriesKeysSafely(baseUrl)) {
        endpoint.error_ = u"Refusing to send the request unencrypted to " + baseUrl.host() +
                          u": plain http is allowed only for loopback addresses, use https";
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
