#include "providers/LineAssembler.h"

#include <cstdlib>

namespace {

QStringList assemble(QByteArrayView body, qsizetype cut)
{
    LineAssembler assembler;
    QStringList lines = assembler.feed(body.first(cut));
    lines += assembler.feed(body.sliced(cut));
    return lines + assembler.finish();
}

} // namespace

// However the network cuts the body, the lines are the same, and none keeps a line break.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView body(data, qsizetype(size));
    const QStringList whole = assemble(body, 0);
    if (assemble(body, body.size() / 2) != whole || assemble(body, body.size() / 3) != whole)
        std::abort();
    for (const QString &line : whole)
        if (line.contains(u'\n') || line.contains(u'\r'))
            std::abort();
    return 0;
}
