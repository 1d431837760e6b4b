#include "app/AppcastFeed.h"

#include <cstdlib>

// A release found always has a version, read from its text; a feed that fails says why.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString error;
    const std::optional<AppcastRelease> newest =
        AppcastFeed::newestRelease(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    if (newest && (newest->version.isNull() || newest->version != QVersionNumber::fromString(newest->versionText) ||
                   !error.isEmpty()))
        std::abort();
    return 0;
}
