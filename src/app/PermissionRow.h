#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// One permission in the permissions tab: icon, title (with an "Optional" badge), detail, and either
// "Granted" or a "Grant Access" button.
class PermissionRow : public QWidget {
    Q_OBJECT
public:
    PermissionRow(const QIcon &icon, const QString &title, const QString &detail, bool isRequired,
                  QWidget *parent = nullptr);

    void setGranted(bool granted);
    bool isGranted() const { return granted_; }
    QLabel *iconLabel() const { return icon_; }

Q_SIGNALS:
    void grantRequested();

private:
    QLabel *icon_;
    QLabel *grantedLabel_;
    QPushButton *grantButton_;
    QIcon iconSource_;
    bool required_;
    bool granted_ = false;
};
