#pragma once

#include <QPoint>
#include <QStringList>

// Synthesises real input on the test display through XTest (by way of xdotool), so it travels the same
// path as a user's keyboard and mouse.
class XTestDriver {
public:
    static bool run(const QStringList &arguments);
    static bool key(const QString &combination) { return run({QStringLiteral("key"), combination}); }
    static bool keyDown(const QString &keys) { return run({QStringLiteral("keydown"), keys}); }
    static bool keyUp(const QString &keys) { return run({QStringLiteral("keyup"), keys}); }
    static bool moveTo(QPoint point);
    static bool press(int button) { return run({QStringLiteral("mousedown"), QString::number(button)}); }
    static bool release(int button) { return run({QStringLiteral("mouseup"), QString::number(button)}); }
};
