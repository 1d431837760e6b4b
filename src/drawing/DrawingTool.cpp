#include "drawing/DrawingTool.h"

namespace DrawingTools {

const QList<DrawingTool> &allCases()
{
    static const QList<DrawingTool> tools{DrawingTool::Scribble, DrawingTool::Text};
    return tools;
}

QString rawValue(DrawingTool tool)
{
    return tool == DrawingTool::Scribble ? QStringLiteral("pencil") : QStringLiteral("textformat");
}

std::optional<DrawingTool> fromRawValue(const QString &raw)
{
    for (DrawingTool tool : allCases())
        if (rawValue(tool) == raw)
            return tool;
    return std::nullopt;
}

QString accessibilityDescription(DrawingTool tool)
{
    return tool == DrawingTool::Scribble ? QStringLiteral("Scribble") : QStringLiteral("Text");
}

} // namespace DrawingTools
