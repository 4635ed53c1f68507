#include "AllocationCounter.h"

#include <cstddef>

// The C library's own allocator, under the names it exports for this very use.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

// Plain static TLS: reading or bumping it never allocates.
static thread_local unsigned long tAllocations = 0;

unsigned long threadAllocations() { return tAllocations; }

extern "C" {

void* malloc(size_t size) {
    ++tAllocations;
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    ++tAllocations;
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
    ++tAllocations;
    return __libc_realloc(pointer, size);
}

void free(void* pointer) { __libc_free(pointer); }

// What aligned operator new reaches. The other aligned functions are left
// to the C library: nothing the server runs calls them.
void* aligned_alloc(size_t alignment, size_t size) {
    ++tAllocations;
    return __libc_memalign(alignment, size);
}

}  // extern "C"
