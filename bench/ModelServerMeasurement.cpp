#include "support/FakeModelServer.h"
#include "support/ModelStreams.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// What models write every day: a heading, prose, a list and a code block, in a few dozen deltas.
QList<FakeModelServer::Piece> answerPieces()
{
    const QByteArray words =
        "## What the error says\\n\\nThe build stopped in `main.cpp` because `Widget` has no member named "
        "`resize_to`. Qt calls it `resize`:\\n\\n1. Open the file at the line shown.\\n2. Replace the call.\\n"
        "3. Build again.\\n\\n```cpp\\nwidget.resize(640, 480);\\n```\\n\\nIf the error stays, the header in "
        "use may come from another Qt version; check the include path of the project.";
    const QList<QByteArray> tokens = words.split(' ');
    QList<FakeModelServer::Piece> pieces;
    for (qsizetype at = 0; at < tokens.size(); at += 4)
        pieces.append({ModelStreams::anthropicDelta(tokens.mid(at, 4).join(' ') + ' '), 5});
    pieces.append({ModelStreams::anthropicStop, 0});
    return pieces;
}

} // namespace

// A loopback model service for scripts/measure-shell: answers each of the first COUNT requests with the same
// streamed answer in the Anthropic protocol, and prints its address.
// Usage: measure_model_server [COUNT]   (default 1000)
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    FakeModelServer server;
    const FakeModelServer::Response answer = FakeModelServer::Response::events(answerPieces());
    for (int i = 0; i < count; ++i)
        server.enqueue(answer);
    std::printf("%s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);
    return app.exec();
}
