#pragma once

class GestureClassifier;
class GestureListener;

// Where global input comes from. A source watches the whole session on a thread of its own, feeds every
// event to the classifier there and carries out the classifier's decision (pass, swallow, replay).
class InputEventSource {
public:
    virtual ~InputEventSource() = default;
    // Problems are reported through `listener.monitorFailed`; the source then stays inert.
    virtual void start(GestureClassifier &classifier, GestureListener &listener) = 0;
    // Returns once the thread has ended; no listener call happens afterwards.
    virtual void stop() = 0;
};
