#include "app/IdleMemory.h"

#include <QPixmapCache>

#include <malloc.h>

void IdleMemory::giveBack()
{
    // Tinted symbols and the style's derived icons of toolbars and panels that are gone.
    QPixmapCache::clear();
    // The allocator keeps freed memory for reuse, most of all in the arenas of the threads that encoded
    // the captures; an idle tray utility has no use for it.
    malloc_trim(0);
}
