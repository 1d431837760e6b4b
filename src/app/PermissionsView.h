#pragma once

#include "app/MissingPermission.h"

#include <QHash>
#include <QTimer>
#include <QWidget>

class PermissionChecker;
class PermissionRow;
class QLabel;

// The permissions tab: a banner while a required permission is missing, one row per permission, and a
// refresh every second while shown, so a change in the system shows without any action.
class PermissionsView : public QWidget {
    Q_OBJECT
public:
    explicit PermissionsView(const PermissionChecker &checker, QWidget *parent = nullptr);

    void refresh();
    PermissionRow *row(MissingPermission permission) const { return rows_.value(permission); }
    bool isWarningShown() const;
    bool isConfirmationShown() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    const PermissionChecker &checker_;
    QWidget *warning_;
    QWidget *confirmation_;
    QHash<MissingPermission, PermissionRow *> rows_;
    QTimer refreshTimer_;
};
