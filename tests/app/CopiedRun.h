#pragma once

#include <QString>

#include <ostream>
#include <vector>

// A text run of copied rich text, with whether it is bold and whether its font is monospaced.
struct CopiedRun {
    QString text;
    bool bold = false;
    bool monospaced = false;
    bool operator==(const CopiedRun &) const = default;

    // The runs of `html`, neighbours of the same look joined.
    static std::vector<CopiedRun> runsOf(const QString &html);
};

void PrintTo(const CopiedRun &run, std::ostream *out);
