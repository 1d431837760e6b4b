#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

// Saves pictures of the panel as it changes, for end-to-end test reports. Only active when the
// environment names a folder in GLINT_ARTIFACTS_DIR; files are "panel-<n>-<label>.png" in order.
class PanelSnapshots {
public:
    explicit PanelSnapshots(QWidget *panel);

    bool isEnabled() const { return !directory_.isEmpty(); }
    void save(const QString &label);

private:
    QPointer<QWidget> panel_;
    QString directory_;
    int count_ = 0;
};
