#pragma once

// The floating panel where the user asks and reads answers.
class QueryPanel {
public:
    virtual ~QueryPanel() = default;
    virtual void show() = 0;
    virtual void close() = 0;        // may be called from the panel's own event handlers
    virtual void bringToFront() = 0; // raise, activate and take the keyboard
    virtual void focusInput() = 0;
};
