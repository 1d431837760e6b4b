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
    // For a permission nothing can grant: says why it is missing instead of offering a button.
    void setMissingText(const QString &text);
    QLabel *missingLabel() const { return missingLabel_; }
    QPushButton *grantButton() const { return grantButton_; }

Q_SIGNALS:
    void grantRequested();

private:
    QLabel *icon_;
    QLabel *grantedLabel_;
    QLabel *missingLabel_;
    QPushButton *grantButton_;
    QIcon iconSource_;
    bool required_;
    bool granted_ = false;
};
