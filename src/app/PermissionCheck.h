#pragma once

#include <QString>

// What one check found.
struct PermissionStatus {
    bool granted = false;
    bool blocking = false; // without it no annotation can work at all
    QString problem;       // when not granted: what is wrong and what to do about it; when granted, how, if
                           // that needs saying
    QString action;        // the title of the button that helps (or undoes); empty when nothing here can

    bool operator==(const PermissionStatus &) const = default;
};

// How one platform checks one requirement and helps the user meet it. A check is asked every second
// on the main thread: it answers at once, asking slow services in the background.
class PermissionCheck {
public:
    virtual ~PermissionCheck() = default;
    virtual PermissionStatus status() const = 0;
    // Whether a missing one can stop annotation: only those are asked at every press.
    virtual bool mayBlock() const { return true; }
    // The button's action; the next status shows the outcome.
    virtual void act() const {}
};
