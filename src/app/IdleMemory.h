#pragma once

// What the process holds while idle without needing it, given back when the drawing buffers are let go:
// cached images of windows that are gone and the allocator's free memory.
class IdleMemory {
public:
    static void giveBack();
};
