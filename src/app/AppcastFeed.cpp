#include "app/AppcastFeed.h"

#include <QXmlStreamReader>

namespace {
bool isVersionName(QStringView name)
{
    return name == u"shortVersionString" || name == u"version";
}

// Sparkle's human version wins over its build number; a plain <version> is the last resort.
int versionRank(QStringView name)
{
    return name == u"shortVersionString" ? 2 : 1;
}
} // namespace

std::optional<AppcastRelease> AppcastFeed::newestRelease(const QByteArray &xml, QString *error)
{
    QXmlStreamReader reader(xml);
    std::optional<AppcastRelease> newest;
    AppcastRelease item;
    int itemRank = 0;
    bool inItem = false;
    bool sawChannel = false;

    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QStringView name = reader.name();
            if (name == u"channel" || name == u"rss")
                sawChannel = true;
            if (name == u"item") {
                inItem = true;
                item = AppcastRelease();
                itemRank = 0;
            } else if (inItem && isVersionName(name) && versionRank(name) > itemRank) {
                item.versionText = reader.readElementText().trimmed();
                itemRank = versionRank(name);
            } else if (inItem && name == u"link") {
                item.link = QUrl(reader.readElementText().trimmed());
            } else if (inItem && name == u"enclosure") {
                for (const QXmlStreamAttribute &attribute : reader.attributes()) {
                    if (isVersionName(attribute.name()) && versionRank(attribute.name()) > itemRank) {
                        item.versionText = attribute.value().toString().trimmed();
                        itemRank = versionRank(attribute.name());
                    } else if (attribute.name() == u"url" && item.link.isEmpty()) {
                        item.link = QUrl(attribute.value().toString());
                    }
                }
            }
        } else if (reader.isEndElement() && reader.name() == u"item") {
            inItem = false;
            item.version = QVersionNumber::fromString(item.versionText);
            if (!item.version.isNull() && (!newest || item.version > newest->version))
                newest = item;
        }
    }
    if (reader.hasError() || !sawChannel) {
        if (error)
            *error = reader.hasError() ? reader.errorString() : QStringLiteral("not an RSS feed");
        return std::nullopt;
    }
    return newest;
}
