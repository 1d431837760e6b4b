#include "capture/SystemScreenCatalog.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QScreen>
#include <QtEndian>

QList<ScreenInfo> SystemScreenCatalog::screens() const
{
    QList<ScreenInfo> result;
    for (const QScreen *screen : QGuiApplication::screens())
        result.append(info(*screen));
    return result;
}

std::optional<ScreenInfo> SystemScreenCatalog::mainScreen() const
{
    const QScreen *primary = QGuiApplication::primaryScreen();
    return primary ? std::optional(info(*primary)) : std::nullopt;
}

ScreenInfo SystemScreenCatalog::info(const QScreen &screen)
{
    return ScreenInfo{screen.geometry(), displayNumber(screen)};
}

quint32 SystemScreenCatalog::displayNumber(const QScreen &screen)
{
    const QByteArray digest = QCryptographicHash::hash(screen.name().toUtf8(), QCryptographicHash::Sha1);
    const quint32 number = qFromBigEndian<quint32>(digest.constData());
    return number == 0 ? 1 : number;
}
