#include "settings/SubmitMode.h"

QString rawValue(SubmitMode mode)
{
    return mode == SubmitMode::ManualSubmit ? QStringLiteral("manualSubmit") : QStringLiteral("singleStroke");
}

std::optional<SubmitMode> submitModeFromRawValue(const QString &raw)
{
    if (raw == u"singleStroke")
        return SubmitMode::SingleStroke;
    if (raw == u"manualSubmit")
        return SubmitMode::ManualSubmit;
    return std::nullopt;
}

QString label(SubmitMode mode)
{
    return mode == SubmitMode::ManualSubmit ? QStringLiteral("Manual Submit — press Done when ready")
                                            : QStringLiteral("Single Stroke — auto-submit after first stroke");
}
