#pragma once

#include "app/PermissionCheck.h"

// A requirement this session cannot meet from here: never granted; it says why, and its button may
// put a command on the clipboard for the user to bind or run.
class ExplainedPermissionCheck : public PermissionCheck {
public:
    ExplainedPermissionCheck(QString problem, QString command = {});

    PermissionStatus status() const override;
    void act() const override;

private:
    QString problem_;
    QString command_;
};
