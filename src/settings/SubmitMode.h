#pragma once

#include <QString>

#include <optional>

// When an annotation is submitted.
enum class SubmitMode { SingleStroke, ManualSubmit };

QString rawValue(SubmitMode mode);
std::optional<SubmitMode> submitModeFromRawValue(const QString &raw);
QString label(SubmitMode mode);
