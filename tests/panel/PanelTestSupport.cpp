#include "PanelTestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTextBlock>
#include <QWidget>

#include <iomanip>
#include <ostream>
#include <utility>

std::vector<ShownRun> shownRuns(const QTextDocument &document)
{
    std::vector<ShownRun> runs;
    // A block break shows no glyph: it goes with the text after it.
    QString pending;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin())
            pending += u'\n';
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QFont font = fragment.charFormat().font();
            ShownRun run{std::exchange(pending, QString()) + fragment.text(), font.family(), font.weight(),
                         font.pointSizeF(), fragment.charFormat().foreground().color()};
            if (!runs.empty() && runs.back().family == run.family && runs.back().weight == run.weight &&
                runs.back().pointSize == run.pointSize && runs.back().color == run.color)
                runs.back().text += run.text;
            else
                runs.push_back(run);
        }
    }
    if (!pending.isEmpty()) {
        if (runs.empty())
            runs.push_back({});
        runs.back().text += pending;
    }
    return runs;
}

void PrintTo(const ShownRun &run, std::ostream *out)
{
    *out << std::quoted(run.text.toStdString()) << ' ' << run.family.toStdString() << ' ' << run.weight << ' '
         << run.pointSize << "pt " << run.color.name(QColor::HexArgb).toStdString();
}

QByteArray pngOfSize(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void saveArtifact(QWidget *widget, const QString &name)
{
    const QString directory = qEnvironmentVariable("GLINT_ARTIFACTS_DIR");
    if (directory.isEmpty())
        return;
    QDir().mkpath(directory);
    widget->grab().save(QDir(directory).filePath(name + u".png"));
}
