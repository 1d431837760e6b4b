#pragma once

#include "app/PermissionCheck.h"

// A requirement this session cannot meet from here: never granted; it says why, and its button may
// put a command on the clipboard for the user to bind or run. Only a blocking one stops annotation.
class ExplainedPermissionCheck : public PermissionCheck {
public:
    ExplainedPermissionCheck(QString problem, bool blocking, QString command = {});

    PermissionStatus status() const override;
    void act() const override;

private:
    QString problem_;
    bool blocking_;
    QString command_;
};
