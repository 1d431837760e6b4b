#pragma once

#include "app/PermissionCheck.h"

#include <QWidget>

class QLabel;
class QPushButton;

// One requirement in the permissions tab: icon, title (with an "Optional" badge), detail, "Granted" or
// what is wrong, and a button that helps.
class PermissionRow : public QWidget {
    Q_OBJECT
public:
    PermissionRow(const QIcon &icon, const QString &title, const QString &detail, bool isRequired,
                  QWidget *parent = nullptr);

    // The status's text, if any, shows in place of the detail, and its action, if any, on the button (a
    // granted one may have one too: taking back what was set up).
    void setStatus(const PermissionStatus &status);
    bool isGranted() const { return status_.granted; }
    QLabel *iconLabel() const { return icon_; }
    QLabel *detailLabel() const { return detailLabel_; }
    QPushButton *grantButton() const { return grantButton_; }

Q_SIGNALS:
    void grantRequested();

private:
    QLabel *icon_;
    QLabel *detailLabel_;
    QLabel *grantedLabel_;
    QPushButton *grantButton_;
    QIcon iconSource_;
    QString detail_;
    bool required_;
    PermissionStatus status_;
};
