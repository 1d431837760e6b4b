#pragma once

#include "panel/SwayIpc.h"
#include "panel/WindowPlacement.h"

#include <QPointer>
#include <QWidget>

#include <optional>

// Places a window and focuses it through Sway's IPC socket. Sway floats a new window in the middle of
// the output and gives no focus to one that opens over a full-screen window, transient or not; a client
// can change neither. The window's container is the first new one that names this process and the
// window's title (Sway announces a window before its title), or, when the window came before the
// subscription to these announcements, the last such one in the tree.
class SwayWindowPlacement : public QObject, public WindowPlacement {
    Q_OBJECT
public:
    SwayWindowPlacement(QWidget &window, const QString &socketPath);

    void place(const QRect &frame, std::function<void()> settled = {}) override;
    void activate() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void received(const SwayIpc::Message &message);
    void windowEvent(const QJsonObject &event);
    bool isOurs(const QJsonObject &container) const;
    void flush();
    void settle();
    void followHeight(const QJsonObject &tree);

    QPointer<QWidget> window_;
    SwayIpc ipc_;
    std::optional<qint64> container_;
    std::optional<QRect> pendingFrame_;
    bool pendingFocus_ = false;
    int placedHeight_ = 0; // the height the compositor's top edge belongs to
    bool treeRequested_ = false;
    std::function<void()> settled_;
    QList<bool> commandsPlacing_; // of the commands not answered yet, those that move the window
};
