#pragma once

#include "app/APIKeyTester.h"
#include "app/OnboardingPresenter.h"
#include "app/OnboardingStep.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class OnboardingStepContentView;
class PermissionChecker;
class QWidget;
class SettingsManager;

// "Glint — Setup": welcome, one page per missing requirement (advancing by itself once it is met), the
// API key, and the end. Steps only move forward; `updatePermissions` drops pages of requirements met
// meanwhile and adds new ones.
class OnboardingWindowController : public QObject, public OnboardingPresenter {
    Q_OBJECT
public:
    static constexpr int pollIntervalMs = 1000;

    OnboardingWindowController(QList<OnboardingStep> steps, const PermissionChecker &permissions,
                               SettingsManager &settings, std::function<void()> onComplete, QObject *parent = nullptr);
    ~OnboardingWindowController() override;

    // welcome, a page per missing requirement, the key, the end.
    static QList<OnboardingStep> stepsFor(const QList<MissingPermission> &missing);

    void show() override;
    bool isVisible() const override;
    void updatePermissions(const QList<MissingPermission> &missing) override;
    void close() override;

    const QList<OnboardingStep> &steps() const { return steps_; }
    int currentIndex() const { return currentIndex_; }
    QWidget *window() const { return window_; }
    OnboardingStepContentView *contentView() const { return contentView_; }
    bool isPolling() const { return pollTimer_.isActive(); }

private:
    void showCurrentStep();
    void configure(const OnboardingStep &step);
    void handlePrimary();
    void advance();
    void finish();
    void checkCurrentPermission();
    void saveKey();
    bool hasStoredKey() const;
    void testKey();

    QList<OnboardingStep> steps_;
    int currentIndex_ = 0;
    std::function<void()> onComplete_;
    QTimer pollTimer_;
    const PermissionChecker &permissions_;
    SettingsManager &settings_;
    QPointer<QWidget> window_;
    OnboardingStepContentView *contentView_ = nullptr;
    APIKeyTester tester_;
};
