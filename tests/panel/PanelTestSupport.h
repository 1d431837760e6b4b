#pragma once

#include <QColor>
#include <QString>
#include <QTextDocument>

#include <iosfwd>
#include <vector>

// One stretch of uniformly formatted text as a document shows it; blocks are joined with "\n".
struct ShownRun {
    QString text;
    QString family;
    int weight = 0;
    qreal pointSize = 0;
    QColor color;

    friend bool operator==(const ShownRun &, const ShownRun &) = default;
};

std::vector<ShownRun> shownRuns(const QTextDocument &document);
void PrintTo(const ShownRun &run, std::ostream *out);

// A PNG of the given size, as a capture would deliver it.
QByteArray pngOfSize(int width, int height);

// Saves a picture of `widget` when GLINT_ARTIFACTS_DIR is set.
class QWidget;
void saveArtifact(QWidget *widget, const QString &name);
