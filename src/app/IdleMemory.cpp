#include "app/IdleMemory.h"

#include <QPixmapCache>

#include <link.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {
// Whether the loader wrote into the object's read-only segments while relocating it; those pages are
// private copies then, and dropping them would bring back the unrelocated file contents.
bool hasTextRelocations(const dl_phdr_info &object)
{
    for (int i = 0; i < object.dlpi_phnum; ++i) {
        if (object.dlpi_phdr[i].p_type != PT_DYNAMIC)
            continue;
        for (auto *entry = reinterpret_cast<const ElfW(Dyn) *>(object.dlpi_addr + object.dlpi_phdr[i].p_vaddr);
             entry->d_tag != DT_NULL; ++entry) {
            if (entry->d_tag == DT_TEXTREL || (entry->d_tag == DT_FLAGS && (entry->d_un.d_val & DF_TEXTREL)))
                return true;
        }
    }
    return false;
}

// The linker puts the headers and the dynamic tables in the object's first segment, read-only and apart
// from code and data; objects laid out otherwise start with their code, and are left alone.
int dropTables(dl_phdr_info *object, size_t, void *)
{
    for (int i = 0; i < object->dlpi_phnum; ++i) {
        const ElfW(Phdr) &segment = object->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD)
            continue;
        if (segment.p_flags != PF_R || hasTextRelocations(*object))
            return 0;
        const uintptr_t page = sysconf(_SC_PAGESIZE);
        const uintptr_t begin = (object->dlpi_addr + segment.p_vaddr + page - 1) & ~(page - 1);
        const uintptr_t end = (object->dlpi_addr + segment.p_vaddr + segment.p_filesz) & ~(page - 1);
        if (end > begin)
            madvise(reinterpret_cast<void *>(begin), end - begin, MADV_DONTNEED);
        return 0;
    }
    return 0;
}
} // namespace

void IdleMemory::giveBack()
{
    QPixmapCache::clear();
    // The allocator keeps freed memory for reuse, most of all in the arenas of the threads that encoded
    // the captures; an idle tray utility has no use for it.
    malloc_trim(0);
    dl_iterate_phdr(dropTables, nullptr);
}
