#pragma once

// Hands back what the process keeps resident for no use once it idles in the tray.
class IdleMemory {
public:
    IdleMemory() = delete;

    // Returns the heap's free memory to the system and unmaps the code pages that drawings and panels
    // faulted in. Those stay in the page cache, shared with every other program using the same
    // libraries, so the next use maps them again without reading anything.
    static void release();
};
