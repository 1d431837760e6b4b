#include "drawing/IdleMemory.h"

#include <QByteArray>
#include <QFile>

#include <malloc.h>
#include <sys/mman.h>

namespace {

// One mapping of /proc/self/smaps, from its header line on.
class Mapping {
public:
    // Only pages that hold exactly what the file holds may be dropped: code of the program or a library
    // that nothing wrote to (a debugger's breakpoint makes a private copy, which shows as anonymous).
    explicit Mapping(const QByteArray &header)
    {
        const QList<QByteArray> fields = header.simplified().split(' ');
        const QList<QByteArray> range = fields.value(0).split('-');
        start_ = range.value(0).toULongLong(nullptr, 16);
        end_ = range.value(1).toULongLong(nullptr, 16);
        cleanCode_ = fields.size() >= 6 && fields[1] == "r-xp" && fields[4] != "0" && end_ > start_;
    }

    void readField(const QByteArray &line)
    {
        if (line.startsWith("Anonymous:") && line.mid(10).trimmed() != "0 kB")
            cleanCode_ = false;
    }

    void dropIfClean() const
    {
        if (cleanCode_)
            madvise(reinterpret_cast<void *>(start_), end_ - start_, MADV_DONTNEED);
    }

private:
    quintptr start_ = 0;
    quintptr end_ = 0;
    bool cleanCode_ = false;
};

bool isHeader(const QByteArray &line)
{
    // "start-end perms ..." where every field line reads "Name: value".
    const qsizetype space = line.indexOf(' ');
    return space > 0 && line.left(space).contains('-') && !line.left(space).endsWith(':');
}

} // namespace

void IdleMemory::release()
{
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (smaps.open(QIODevice::ReadOnly)) {
        // Dropping pages leaves the mappings as they are, so the listing can be walked meanwhile.
        std::optional<Mapping> mapping;
        char line[512];
        while (smaps.readLine(line, sizeof line) > 0) {
            const QByteArray text = QByteArray::fromRawData(line, qsizetype(qstrlen(line)));
            if (isHeader(text)) {
                if (mapping)
                    mapping->dropIfClean();
                mapping.emplace(text);
            } else if (mapping) {
                mapping->readField(text);
            }
        }
        if (mapping)
            mapping->dropIfClean();
    }
    // The allocator keeps freed memory for reuse, most of all in the arenas of the threads that encoded
    // the captures; an idle tray utility has no use for it.
    malloc_trim(0);
}
