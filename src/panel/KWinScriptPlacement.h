#pragma once

#include "panel/WindowPlacement.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QTemporaryFile;

// Places a window and gives it the keyboard through KWin's scripting interface, where a client can do
// neither itself: a small script finds the window by this process's id and the window's title, moves it
// when it appears (and again after it was hidden), keeps its bottom edge when its height changes, and calls
// `placed` (or `activated`) on this object over the session bus. Each script stays loaded until the next placement or
// until this object goes.
class KWinScriptPlacement : public QObject, public WindowPlacement {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.glint.Glint.WindowPlacement")
public:
    static const QString service;

    // Whether KWin runs on the session bus.
    static bool isOffered();

    explicit KWinScriptPlacement(QWidget &window);
    ~KWinScriptPlacement() override;

    void place(const QRect &frame, std::function<void()> settled = {}) override;
    void activate() override;

public Q_SLOTS:
    Q_SCRIPTABLE void placed();
    Q_SCRIPTABLE void activated();

private:
    struct Script;

    void load(const QString &resource, QJsonObject want);
    void run(const std::shared_ptr<Script> &script, int id, bool plasma6Path);
    void unload(const QString &name);

    QPointer<QWidget> window_;
    QString objectPath_;
    std::shared_ptr<Script> placing_; // stays while the window may come again
    std::shared_ptr<Script> activating_;
    std::function<void()> settled_;
};
