#include "input/X11InputEventSource.h"

#include "input/GestureClassifier.h"
#include "input/GestureListener.h"
#include "input/ModifierFlags.h"
#include "input/VirtualKeyMap.h"

#include <QHash>
#include <QSet>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <utility>

// Xlib defines macros such as None, Bool and Status: it comes after every Qt header.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace {
constexpr quint16 unknownKeyCode = 0xffff;
constexpr unsigned int lockVariants[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
constexpr unsigned int buttonEventMask = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask;

quint64 flagsFromState(unsigned int state)
{
    quint64 flags = 0;
    if (state & ShiftMask)
        flags |= ModifierFlags::shift;
    if (state & ControlMask)
        flags |= ModifierFlags::control;
    if (state & Mod1Mask)
        flags |= ModifierFlags::option;
    if (state & Mod4Mask)
        flags |= ModifierFlags::command;
    return flags;
}

// The X11 modifiers for a mask, or nothing when the mask needs a modifier X11 does not have (Fn).
std::optional<unsigned int> stateFromFlags(quint64 flags)
{
    if (flags & ~(ModifierFlags::hotkeyMask))
        return std::nullopt;
    unsigned int state = 0;
    if (flags & ModifierFlags::shift)
        state |= ShiftMask;
    if (flags & ModifierFlags::control)
        state |= ControlMask;
    if (flags & ModifierFlags::option)
        state |= Mod1Mask;
    if (flags & ModifierFlags::command)
        state |= Mod4Mask;
    return state;
}

// Qt's xcb plugin installs an Xlib handler that drops errors; while grabbing we need to see them.
std::atomic<Display *> trappedDisplay{nullptr};
std::atomic<int> trappedError{0};

int trapError(Display *display, XErrorEvent *error)
{
    if (display == trappedDisplay.load())
        trappedError.store(error->error_code);
    return 0;
}

// Runs `requests` and reports the first X error they caused (0 for none).
template <typename Requests> int withErrorTrap(Display *display, Requests requests)
{
    XSync(display, False);
    trappedDisplay.store(display);
    trappedError.store(0);
    XErrorHandler previous = XSetErrorHandler(trapError);
    requests();
    XSync(display, False);
    XSetErrorHandler(previous);
    trappedDisplay.store(nullptr);
    return trappedError.load();
}
} // namespace

struct X11InputEventSource::Thread {
    GestureClassifier &classifier;
    GestureListener &listener;
    int wakeFds[2] = {-1, -1};
    QThread *thread = nullptr;

    Display *grab = nullptr;
    Display *watch = nullptr;
    Window root = 0;
    int xiOpcode = 0;
    QHash<int, quint64> modifierKeyFlags; // keycode → flag bit
    QSet<int> heldModifierKeys;
    // Set while the events queued right after a replay are handled: a press among them is the replay.
    bool replayMayBeQueued = false;

    Thread(GestureClassifier &c, GestureListener &l)
        : classifier(c)
        , listener(l)
    {
    }

    void run();
    bool connect();
    bool grabTriggers();
    void grabMiddleButton();
    void watchKeys();
    void loop();
    void handleGrabbed(XEvent &event);
    void handleRaw(XEvent &event);
    void replayMiddleClick();
    quint64 heldFlags() const;
    void disconnect();
};

X11InputEventSource::X11InputEventSource() = default;

X11InputEventSource::~X11InputEventSource()
{
    stop();
}

void X11InputEventSource::start(GestureClassifier &classifier, GestureListener &listener)
{
    if (thread_)
        return;
    thread_ = std::make_unique<Thread>(classifier, listener);
    if (pipe2(thread_->wakeFds, O_CLOEXEC) != 0) {
        listener.monitorFailed(QStringLiteral("no-wakeup-pipe"));
        thread_.reset();
        return;
    }
    Thread *state = thread_.get();
    state->thread = QThread::create([state] { state->run(); });
    state->thread->setObjectName(QStringLiteral("org.glint.Glint.hotkeymonitor"));
    state->thread->start();
}

void X11InputEventSource::stop()
{
    if (!thread_)
        return;
    const char wake = 1;
    [[maybe_unused]] ssize_t written = write(thread_->wakeFds[1], &wake, 1);
    thread_->thread->wait();
    delete thread_->thread;
    close(thread_->wakeFds[0]);
    close(thread_->wakeFds[1]);
    thread_.reset();
}

bool X11InputEventSource::isAvailable()
{
    static const bool available = [] {
        Display *display = XOpenDisplay(nullptr);
        if (!display)
            return false;
        int event = 0, error = 0, major = 0, minor = 0, opcode = 0;
        bool ok = XTestQueryExtension(display, &event, &error, &major, &minor) &&
                  XQueryExtension(display, "XInputExtension", &opcode, &event, &error);
        if (ok) {
            major = 2;
            minor = 2;
            ok = XIQueryVersion(display, &major, &minor) == Success;
        }
        XCloseDisplay(display);
        return ok;
    }();
    return available;
}

void X11InputEventSource::Thread::run()
{
    if (connect() && grabTriggers()) {
        watchKeys();
        listener.monitorStarted();
        loop();
    }
    disconnect();
}

bool X11InputEventSource::Thread::connect()
{
    grab = XOpenDisplay(nullptr);
    watch = XOpenDisplay(nullptr);
    if (!grab || !watch) {
        listener.monitorFailed(QStringLiteral("display-unavailable"));
        return false;
    }
    root = DefaultRootWindow(grab);
    int event = 0, error = 0, major = 2, minor = 2;
    if (!XQueryExtension(watch, "XInputExtension", &xiOpcode, &event, &error) ||
        XIQueryVersion(watch, &major, &minor) != Success ||
        !XTestQueryExtension(grab, &event, &error, &major, &minor)) {
        listener.monitorFailed(QStringLiteral("extensions-missing"));
        return false;
    }
    return true;
}

bool X11InputEventSource::Thread::grabTriggers()
{
    const HotkeyTriggers &triggers = classifier.triggers();
    // A hotkey X11 cannot type (an unknown key, or one needing Fn) is simply never matched.
    const std::optional<quint32> keysym = VirtualKeyMap::keysym(triggers.keyCode);
    const KeyCode keycode = keysym ? XKeysymToKeycode(grab, *keysym) : 0;
    const std::optional<unsigned int> keyState = stateFromFlags(triggers.keyModifiers);
    if (keycode && keyState) {
        const int error = withErrorTrap(grab, [&] {
            for (unsigned int lock : lockVariants)
                XGrabKey(grab, keycode, *keyState | lock, root, False, GrabModeAsync, GrabModeAsync);
        });
        if (error) {
            listener.monitorFailed(error == BadAccess ? QStringLiteral("hotkey-taken")
                                                      : QStringLiteral("hotkey-grab-failed"));
            return false;
        }
    }

    // Shift does not count for quick draw, so both are grabbed. The pointer freezes at the press until
    // the classifier has decided whether the click goes on to the window below.
    const quint64 quickDraw = triggers.quickDrawModifiers;
    const std::optional<unsigned int> drawState = stateFromFlags(quickDraw);
    int error = 0;
    if (quickDraw != 0 && drawState) {
        error = withErrorTrap(grab, [&] {
            for (unsigned int shift : {0u, unsigned(ShiftMask)})
                for (unsigned int lock : lockVariants)
                    XGrabButton(grab, Button1, *drawState | shift | lock, root, False, buttonEventMask, GrabModeSync,
                                GrabModeAsync, 0, 0);
        });
    }
    if (!error && triggers.quickDrawMiddleMouseEnabled)
        error = withErrorTrap(grab, [&] { grabMiddleButton(); });
    if (error) {
        listener.monitorFailed(QStringLiteral("button-taken"));
        return false;
    }
    return true;
}

void X11InputEventSource::Thread::grabMiddleButton()
{
    XGrabButton(grab, Button2, AnyModifier, root, False, buttonEventMask, GrabModeSync, GrabModeAsync, 0, 0);
}

void X11InputEventSource::Thread::watchKeys()
{
    XModifierKeymap *map = XGetModifierMapping(watch);
    const std::pair<int, quint64> modifierFlags[] = {{ShiftMapIndex, ModifierFlags::shift},
                                                     {ControlMapIndex, ModifierFlags::control},
                                                     {Mod1MapIndex, ModifierFlags::option},
                                                     {Mod4MapIndex, ModifierFlags::command}};
    for (const auto &[index, flag] : modifierFlags)
        for (int i = 0; i < map->max_keypermod; ++i)
            if (const KeyCode code = map->modifiermap[index * map->max_keypermod + i])
                modifierKeyFlags[code] |= flag;
    XFreeModifiermap(map);

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, int(sizeof(bits)), bits};
    XISelectEvents(watch, DefaultRootWindow(watch), &mask, 1);
    XFlush(watch);
}

void X11InputEventSource::Thread::loop()
{
    pollfd fds[3] = {
        {ConnectionNumber(grab), POLLIN, 0}, {ConnectionNumber(watch), POLLIN, 0}, {wakeFds[0], POLLIN, 0}};
    for (;;) {
        XEvent event;
        // Keys first: a modifier pressed just before a click must be known when the click is judged.
        while (XPending(watch)) {
            XNextEvent(watch, &event);
            handleRaw(event);
        }
        while (XPending(grab)) {
            XNextEvent(grab, &event);
            handleGrabbed(event);
        }
        replayMayBeQueued = false;
        if (poll(fds, 3, -1) < 0 && errno != EINTR)
            return;
        if (fds[2].revents)
            return;
    }
}

quint64 X11InputEventSource::Thread::heldFlags() const
{
    quint64 flags = 0;
    for (int code : heldModifierKeys)
        flags |= modifierKeyFlags.value(code);
    return flags;
}

void X11InputEventSource::Thread::handleRaw(XEvent &event)
{
    if (event.type != GenericEvent || event.xcookie.extension != xiOpcode || !XGetEventData(watch, &event.xcookie))
        return;
    const auto *raw = static_cast<const XIRawEvent *>(event.xcookie.data);
    const bool press = event.xcookie.evtype == XI_RawKeyPress;
    InputEvent input;
    input.time = raw->time / 1000.0;
    if (modifierKeyFlags.contains(raw->detail)) {
        if (press)
            heldModifierKeys.insert(raw->detail);
        else
            heldModifierKeys.remove(raw->detail);
        input.type = InputEvent::Type::FlagsChanged;
        input.flags = heldFlags();
        classifier.handle(input);
    } else if (press) {
        const KeySym keysym = XkbKeycodeToKeysym(watch, KeyCode(raw->detail), 0, 0);
        input.type = InputEvent::Type::KeyDown;
        input.keyCode = VirtualKeyMap::fromKeysym(quint32(keysym)).value_or(unknownKeyCode);
        input.flags = heldFlags();
        classifier.handle(input);
    }
    XFreeEventData(watch, &event.xcookie);
}

void X11InputEventSource::Thread::handleGrabbed(XEvent &event)
{
    using Type = InputEvent::Type;
    // The grabbed hotkey press only needs swallowing; the raw watch reports it to the classifier.
    if (event.type != ButtonPress && event.type != ButtonRelease && event.type != MotionNotify)
        return;

    InputEvent input;
    if (event.type == MotionNotify) {
        const XMotionEvent &motion = event.xmotion;
        input.button = motion.state & Button1Mask ? 1 : 2;
        input.type = input.button == 1 ? Type::LeftMouseDragged : Type::OtherMouseDragged;
        input.flags = flagsFromState(motion.state);
        input.location = QPointF(motion.x_root, motion.y_root);
        input.time = motion.time / 1000.0;
        classifier.handle(input);
        return;
    }

    const XButtonEvent &button = event.xbutton;
    const bool press = event.type == ButtonPress;
    input.button = int(button.button);
    input.flags = flagsFromState(button.state);
    input.location = QPointF(button.x_root, button.y_root);
    input.time = button.time / 1000.0;
    if (input.button == 1)
        input.type = press ? Type::LeftMouseDown : Type::LeftMouseUp;
    else
        input.type = press ? Type::OtherMouseDown : Type::OtherMouseUp;
    // Our replay normally bypasses the grab (it is lifted meanwhile); if the server still caught it, it
    // is already queued and must pass as the click it is.
    if (press && input.button == 2)
        input.replayed = std::exchange(replayMayBeQueued, false);

    const GestureClassifier::Fate fate = classifier.handle(input);
    if (press) {
        XAllowEvents(grab, fate == GestureClassifier::Fate::Swallow ? AsyncPointer : ReplayPointer, button.time);
        XFlush(grab);
    } else if (fate == GestureClassifier::Fate::ReplayPressThenPass) {
        replayMiddleClick();
    }
}

void X11InputEventSource::Thread::replayMiddleClick()
{
    XUngrabButton(grab, Button2, AnyModifier, root);
    XTestFakeButtonEvent(grab, Button2, True, CurrentTime);
    XTestFakeButtonEvent(grab, Button2, False, CurrentTime);
    XSync(grab, False);
    grabMiddleButton();
    XSync(grab, False);
    replayMayBeQueued = true;
}

void X11InputEventSource::Thread::disconnect()
{
    if (grab)
        XCloseDisplay(grab);
    if (watch)
        XCloseDisplay(watch);
    grab = watch = nullptr;
}
