#pragma once

#include <QObject>
#include <QPointer>

class ModelCatalog;
class ModelPillButton;
class QMenu;
class QWidget;
class SettingsManager;

// The model pill ("modelButton") and its menu: the pill names the model the next question goes to, the
// menu lists the catalogue's models of every provider that is set up, and a choice is stored in the
// settings. Without settings the pill offers nothing.
class ModelPicker : public QObject {
    Q_OBJECT
public:
    ModelPicker(SettingsManager *settings, ModelCatalog &catalog, QObject *parent = nullptr);

    ModelPillButton *button() const { return button_; }

    // The menu as the pill would show it; the caller owns it.
    QMenu *createMenu(QWidget *parent = nullptr);

public Q_SLOTS:
    void showMenu();

Q_SIGNALS:
    void settingsRequested(); // the pill was clicked while no provider is set up

private:
    bool hasKey(const QString &account) const;
    bool hasProvider() const;
    void updateTitle();
    void fetchCompatibleModels();
    void select(const QString &provider, const QString &model);

    QPointer<SettingsManager> settings_;
    ModelCatalog &catalog_;
    ModelPillButton *button_;
};
