#pragma once

#include <QObject>

#include <memory>

class AnnotationSession;
class SettingsManager;

// Owns what lives for the whole run and performs the launch sequence.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();

    SettingsManager &settings() { return *settings_; }
    AnnotationSession &session() { return *session_; }

private:
    std::unique_ptr<SettingsManager> settings_;
    std::unique_ptr<AnnotationSession> session_;
};
