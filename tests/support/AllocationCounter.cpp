#include "AllocationCounter.h"

#include <cerrno>
#include <cstddef>

// The C library's own allocator, under the names it exports for this very use.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {

// Plain static TLS: reading or bumping it never allocates.
thread_local unsigned long tAllocations = 0;

bool powerOfTwo(size_t n) { return n != 0 && (n & (n - 1)) == 0; }

}  // namespace

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

void* memalign(size_t alignment, size_t size) {
    ++tAllocations;
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
    ++tAllocations;
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, size_t alignment, size_t size) {
    if (!powerOfTwo(alignment) || alignment % sizeof(void*) != 0) {
        return EINVAL;
    }
    ++tAllocations;
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) {
        return ENOMEM;
    }
    *result = pointer;
    return 0;
}

}  // extern "C"
