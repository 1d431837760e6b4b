#pragma once

#include <QList>
#include <QString>

#include <optional>

// What the toolbar offers. Strokes are freehand whatever is selected; the text tool only moves the
// toolbar's highlight for now.
enum class DrawingTool { Scribble, Text };

namespace DrawingTools {

// In toolbar order.
const QList<DrawingTool> &allCases();

// "pencil" or "textformat": also the name of the icon on the tool's button.
QString rawValue(DrawingTool tool);
std::optional<DrawingTool> fromRawValue(const QString &raw);

// The accessible name of the tool's button.
QString accessibilityDescription(DrawingTool tool);

} // namespace DrawingTools
