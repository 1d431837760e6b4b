#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

// Where the keyboard focus was before a session took it: the application and, when the platform can
// tell, its window and focused element.
struct FocusRestorationTarget {
    qint32 appPID = 0;
    std::optional<quint64> window;
    std::optional<quint64> focusedElement;

    friend bool operator==(const FocusRestorationTarget &, const FocusRestorationTarget &) = default;
};

// Records and restores the focus of other applications. Never yields this application as a target.
class FocusTracker {
public:
    virtual ~FocusTracker() = default;
    virtual std::optional<FocusRestorationTarget> frontmostTarget() = 0;
    // Replaces any earlier subscription: `activated` runs on the main thread for each other application
    // that becomes active.
    virtual void startTracking(std::function<void(const FocusRestorationTarget &)> activated) = 0;
    virtual void stopTracking() = 0;
    virtual void restore(const FocusRestorationTarget &target) = 0;
};
