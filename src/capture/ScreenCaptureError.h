#pragma once

#include <QString>

// Why a capture produced no image.
enum class ScreenCaptureError {
    noDisplay = 0,        // no display at all
    conversionFailed = 1, // the final image could not be encoded as PNG
};

// The generic wording for an error of this type and code.
QString describe(ScreenCaptureError error);
