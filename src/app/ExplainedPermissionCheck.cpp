#include "app/ExplainedPermissionCheck.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

ExplainedPermissionCheck::ExplainedPermissionCheck(QString problem, bool blocking, QString command)
    : problem_(std::move(problem))
    , blocking_(blocking)
    , command_(std::move(command))
{
}

PermissionStatus ExplainedPermissionCheck::status() const
{
    return {false, blocking_, problem_,
            command_.isEmpty() ? QString() : QCoreApplication::translate("PermissionCheck", "Copy Command")};
}

void ExplainedPermissionCheck::act() const
{
    if (!command_.isEmpty())
        QGuiApplication::clipboard()->setText(command_);
}
