#include "providers/CompatibleModelList.h"

#include <QSet>

#include <cstdlib>

// The model menu never gets an empty or a repeated entry.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList models =
        CompatibleModelList::parse(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (models.contains(QString()) || QSet<QString>(models.begin(), models.end()).size() != models.size())
        std::abort();
    return 0;
}
