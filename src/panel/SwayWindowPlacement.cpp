#include "panel/SwayWindowPlacement.h"

#include "log/DebugLog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QJsonArray>
#include <QJsonObject>

namespace {

QRect rectOf(const QJsonObject &container)
{
    const QJsonObject rect = container[u"rect"].toObject();
    return QRect(rect[u"x"].toInt(), rect[u"y"].toInt(), rect[u"width"].toInt(), rect[u"height"].toInt());
}

// The container among `node` and its descendants for which `wanted` holds that came last (the highest id).
std::optional<QJsonObject> lastContainer(const QJsonObject &node,
                                         const std::function<bool(const QJsonObject &)> &wanted)
{
    std::optional<QJsonObject> found;
    if (wanted(node))
        found = node;
    for (const char16_t *children : {u"nodes", u"floating_nodes"}) {
        for (const QJsonValue &child : node[children].toArray()) {
            std::optional<QJsonObject> inner = lastContainer(child.toObject(), wanted);
            if (inner && (!found || (*inner)[u"id"].toInteger() > (*found)[u"id"].toInteger()))
                found = std::move(inner);
        }
    }
    return found;
}

void logFailure(const QString &reason)
{
    DebugLog::log(QStringLiteral("QueryPanel"), u"Panel placement failed error=" + reason);
}

} // namespace

SwayWindowPlacement::SwayWindowPlacement(QWidget &window, const QString &socketPath)
    : window_(&window)
    , ipc_(socketPath)
{
    connect(&ipc_, &SwayIpc::received, this, &SwayWindowPlacement::received);
    connect(&ipc_, &SwayIpc::failed, this, [this](const QString &reason) {
        logFailure(reason);
        settle();
    });
    ipc_.send(SwayIpc::Subscribe, R"(["window"])");
    window.installEventFilter(this);
}

void SwayWindowPlacement::place(const QRect &frame, std::function<void()> settled)
{
    pendingFrame_ = frame;
    if (settled)
        settled_ = std::move(settled);
    flush();
}

void SwayWindowPlacement::settle()
{
    if (settled_)
        std::exchange(settled_, {})();
}

void SwayWindowPlacement::activate()
{
    pendingFocus_ = true;
    flush();
}

void SwayWindowPlacement::flush()
{
    if (!container_ || !window_ || (!pendingFrame_ && !pendingFocus_))
        return;
    QStringList commands;
    const std::optional<QRect> frame = std::exchange(pendingFrame_, std::nullopt);
    if (frame) {
        placedHeight_ = window_->height();
        commands
            << QStringLiteral("move absolute position %1 %2").arg(frame->x()).arg(frame->bottom() + 1 - placedHeight_);
    }
    if (std::exchange(pendingFocus_, false))
        commands << QStringLiteral("focus");
    ipc_.send(SwayIpc::RunCommand,
              QStringLiteral("[con_id=%1] %2").arg(*container_).arg(commands.join(u", ")).toUtf8());
    commandsPlacing_ << frame.has_value();
}

bool SwayWindowPlacement::eventFilter(QObject *watched, QEvent *event)
{
    // Once placed, a new height asks where the window is now, the user may have moved it.
    if (event->type() == QEvent::Resize && watched == window_ && container_ && placedHeight_ &&
        window_->height() != placedHeight_ && !std::exchange(treeRequested_, true))
        ipc_.send(SwayIpc::GetTree, {});
    return false;
}

void SwayWindowPlacement::received(const SwayIpc::Message &message)
{
    switch (message.type) {
    case SwayIpc::windowEvent:
        windowEvent(message.payload.object());
        break;
    case SwayIpc::Subscribe:
        // The window may have come before the subscription did.
        if (!container_ && !std::exchange(treeRequested_, true))
            ipc_.send(SwayIpc::GetTree, {});
        break;
    case SwayIpc::GetTree:
        treeRequested_ = false;
        if (container_) {
            followHeight(message.payload.object());
        } else if (const std::optional<QJsonObject> ours =
                       lastContainer(message.payload.object(), [this](const QJsonObject &c) { return isOurs(c); })) {
            container_ = (*ours)[u"id"].toInteger();
            flush();
        }
        break;
    case SwayIpc::RunCommand:
        for (const QJsonValue &result : message.payload.array()) {
            if (!result[u"success"].toBool())
                logFailure(result[u"error"].toString());
        }
        if (!commandsPlacing_.isEmpty() && commandsPlacing_.takeFirst())
            settle();
        break;
    default:
        break;
    }
}

void SwayWindowPlacement::windowEvent(const QJsonObject &event)
{
    const QJsonObject container = event[u"container"].toObject();
    const qint64 id = container[u"id"].toInteger();
    const QString change = event[u"change"].toString();
    if (change == u"close" && container_ == id) {
        container_.reset();
        // Hidden for a while (while the screen is copied for another capture), it comes back there.
        if (!pendingFrame_)
            pendingFrame_ = rectOf(container);
    } else if ((change == u"new" || change == u"title") && !container_ && isOurs(container)) {
        container_ = id;
        flush();
    }
}

bool SwayWindowPlacement::isOurs(const QJsonObject &container) const
{
    return window_ && container[u"pid"].toInteger() == QCoreApplication::applicationPid() &&
           container[u"name"].toString() == window_->windowTitle();
}

void SwayWindowPlacement::followHeight(const QJsonObject &tree)
{
    if (!container_ || !window_)
        return;
    const std::optional<QJsonObject> container =
        lastContainer(tree, [id = *container_](const QJsonObject &c) { return c[u"id"].toInteger() == id; });
    if (!container || window_->height() == placedHeight_)
        return;
    // Sway keeps the top edge when a client changes its size.
    const QRect rect = rectOf(*container);
    place(QRect(rect.x(), rect.y(), rect.width(), placedHeight_));
}
