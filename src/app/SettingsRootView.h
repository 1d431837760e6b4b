#pragma once

#include <QWidget>

class PermissionChecker;
class PermissionsView;
class QButtonGroup;
class QStackedWidget;
class SettingsManager;
class SettingsView;

// The settings window's content: the "General" and "Permissions" segments, bound to the selected-tab
// preference, above the two tabs.
class SettingsRootView : public QWidget {
    Q_OBJECT
public:
    SettingsRootView(SettingsManager &settings, const PermissionChecker &permissions, QWidget *parent = nullptr);

    SettingsView *generalTab() const { return general_; }
    PermissionsView *permissionsTab() const { return permissions_; }
    int currentTab() const;

private:
    void showTab(int tab);

    SettingsManager &settings_;
    QButtonGroup *segments_;
    QStackedWidget *tabs_;
    SettingsView *general_;
    PermissionsView *permissions_;
};
