#pragma once

// What the process holds while idle without needing it, given back when the drawing buffers are let go:
// cached images of windows that are gone, the allocator's free memory, and the tables of every loaded
// shared library (symbols, hashes, relocations), which only loading a library reads. The tables are
// clean pages of their files: they leave the resident set and come back from the page cache should
// another library be loaded later.
class IdleMemory {
public:
    static void giveBack();
};
