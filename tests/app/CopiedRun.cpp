#include "CopiedRun.h"

#include <QFontInfo>
#include <QTextBlock>
#include <QTextDocument>

void PrintTo(const CopiedRun &run, std::ostream *out)
{
    *out << '"' << run.text.toStdString() << '"' << (run.bold ? " bold" : "") << (run.monospaced ? " mono" : "");
}

std::vector<CopiedRun> CopiedRun::runsOf(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    std::vector<CopiedRun> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QFont font = it.fragment().charFormat().font();
            const CopiedRun run{it.fragment().text(), font.weight() >= QFont::DemiBold, QFontInfo(font).fixedPitch()};
            if (!runs.empty() && runs.back().bold == run.bold && runs.back().monospaced == run.monospaced)
                runs.back().text += run.text;
            else
                runs.push_back(run);
        }
    }
    return runs;
}
