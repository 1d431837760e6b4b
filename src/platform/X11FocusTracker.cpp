#include "platform/X11FocusTracker.h"

#include <QSocketNotifier>

#include <cstdlib>
#include <unistd.h>

#include <xcb/xcb.h>

namespace {
// The source indication of a pager: window managers let such a request through their focus-stealing
// prevention, as they should for a focus the user had a moment ago.
constexpr quint32 sourcePager = 2;

template <typename Reply> struct Freed {
    Reply *reply;
    ~Freed() { std::free(reply); }
    Reply *operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};
template <typename Reply> Freed(Reply *) -> Freed<Reply>;
} // namespace

struct X11FocusTracker::Atoms {
    xcb_atom_t activeWindow = XCB_ATOM_NONE;
    xcb_atom_t wmPid = XCB_ATOM_NONE;
    xcb_atom_t supportingWmCheck = XCB_ATOM_NONE;
};

X11FocusTracker::X11FocusTracker(QByteArray display)
    : displayName_(std::move(display))
{
}

X11FocusTracker::~X11FocusTracker()
{
    notifier_.reset();
    if (connection_)
        xcb_disconnect(connection_);
}

bool X11FocusTracker::connect()
{
    if (connection_ && !xcb_connection_has_error(connection_))
        return true;
    // A connection that broke (the server went away) is replaced by a new one.
    notifier_.reset();
    if (connection_)
        xcb_disconnect(connection_);
    int screenNumber = 0;
    connection_ = xcb_connect(displayName_.isEmpty() ? nullptr : displayName_.constData(), &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    root_ = screens.data->root;

    atoms_ = std::make_unique<Atoms>();
    const std::pair<xcb_atom_t *, const char *> names[] = {{&atoms_->activeWindow, "_NET_ACTIVE_WINDOW"},
                                                           {&atoms_->wmPid, "_NET_WM_PID"},
                                                           {&atoms_->supportingWmCheck, "_NET_SUPPORTING_WM_CHECK"}};
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (size_t i = 0; i < std::size(names); ++i)
        cookies[i] = xcb_intern_atom(connection_, 0, uint16_t(qstrlen(names[i].second)), names[i].second);
    for (size_t i = 0; i < std::size(names); ++i)
        if (Freed reply{xcb_intern_atom_reply(connection_, cookies[i], nullptr)})
            *names[i].first = reply->atom;

    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
    return true;
}

namespace {
std::optional<quint32> cardinal(xcb_connection_t *connection, quint32 window, xcb_atom_t property, xcb_atom_t type)
{
    Freed reply{
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, property, type, 0, 1), nullptr)};
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.reply) < 4)
        return std::nullopt;
    return *static_cast<const quint32 *>(xcb_get_property_value(reply.reply));
}

bool exists(xcb_connection_t *connection, quint32 window)
{
    return Freed{xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr)}
               .reply != nullptr;
}
} // namespace

// The root's check window is left behind when a window manager dies; only a live one counts.
bool X11FocusTracker::hasWindowManager() const
{
    const std::optional<quint32> check = cardinal(connection_, root_, atoms_->supportingWmCheck, XCB_ATOM_WINDOW);
    return check && *check != XCB_WINDOW_NONE && exists(connection_, *check);
}

std::optional<quint32> X11FocusTracker::activeWindow() const
{
    const std::optional<quint32> active = cardinal(connection_, root_, atoms_->activeWindow, XCB_ATOM_WINDOW);
    if (!active || *active == XCB_WINDOW_NONE)
        return std::nullopt;
    return active;
}

std::optional<FocusRestorationTarget> X11FocusTracker::targetFor(quint32 window, std::optional<quint32> focused) const
{
    const std::optional<quint32> pid = cardinal(connection_, window, atoms_->wmPid, XCB_ATOM_CARDINAL);
    if (pid && qint32(*pid) == qint32(getpid()))
        return std::nullopt;
    return FocusRestorationTarget{pid ? qint32(*pid) : 0, window, focused};
}

std::optional<FocusRestorationTarget> X11FocusTracker::frontmostTarget()
{
    if (!connect())
        return std::nullopt;
    if (hasWindowManager()) {
        const std::optional<quint32> active = activeWindow();
        return active ? targetFor(*active, std::nullopt) : std::nullopt;
    }
    Freed focus{xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)};
    if (!focus || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus->focus == XCB_WINDOW_NONE ||
        focus->focus == root_)
        return std::nullopt;
    // The focus may sit on a child of the client's top-level window, which carries the process id.
    quint32 topLevel = focus->focus;
    for (;;) {
        Freed tree{xcb_query_tree_reply(connection_, xcb_query_tree(connection_, topLevel), nullptr)};
        if (!tree)
            return std::nullopt;
        if (tree->parent == root_ || tree->parent == XCB_WINDOW_NONE)
            break;
        topLevel = tree->parent;
    }
    return targetFor(topLevel, focus->focus);
}

void X11FocusTracker::startTracking(std::function<void(const FocusRestorationTarget &)> activated)
{
    activated_ = std::move(activated);
    if (!connect())
        return;
    selectRootEvents(true);
}

void X11FocusTracker::stopTracking()
{
    activated_ = nullptr;
    if (connection_)
        selectRootEvents(false);
}

void X11FocusTracker::selectRootEvents(bool tracking)
{
    const quint32 mask = tracking ? XCB_EVENT_MASK_PROPERTY_CHANGE : XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
    // What arrived before is stale either way.
    while (xcb_generic_event_t *event = xcb_poll_for_event(connection_))
        std::free(event);
}

void X11FocusTracker::readEvents()
{
    if (!connection_)
        return;
    while (xcb_generic_event_t *event = xcb_poll_for_event(connection_)) {
        const bool activeChanged = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                                   reinterpret_cast<xcb_property_notify_event_t *>(event)->atom == atoms_->activeWindow;
        std::free(event);
        if (!activeChanged || !activated_)
            continue;
        if (const std::optional<quint32> active = activeWindow())
            if (const std::optional<FocusRestorationTarget> target = targetFor(*active, std::nullopt))
                activated_(*target);
    }
    if (xcb_connection_has_error(connection_))
        notifier_->setEnabled(false); // reconnected at the next use
}

void X11FocusTracker::restore(const FocusRestorationTarget &target)
{
    if (!target.window || !connect() || !exists(connection_, quint32(*target.window)))
        return;
    const quint32 window = quint32(*target.window);
    if (hasWindowManager()) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atoms_->activeWindow;
        message.data.data32[0] = sourcePager;
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char *>(&message));
    } else {
        const quint32 stackMode = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &stackMode);
        const quint32 focus = target.focusedElement && exists(connection_, quint32(*target.focusedElement))
                                  ? quint32(*target.focusedElement)
                                  : window;
        // An unmapped window refuses the focus; the error is dropped with the other events.
        xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_PARENT, focus, XCB_CURRENT_TIME);
    }
    xcb_flush(connection_);
}
