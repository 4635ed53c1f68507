// Counts heap allocations per thread, for tests and benchmarks that must show
// a path allocates nothing.
//
// Linking the library that holds this replaces malloc, calloc, realloc and
// aligned_alloc of the whole executable with versions that count and then
// forward to the C library's allocator (so every pointer still belongs to it
// and may be freed by anyone). operator new reaches malloc, so
// it is counted too. Never link it into the server.
#ifndef TESTS_SUPPORT_ALLOCATION_COUNTER_H
#define TESTS_SUPPORT_ALLOCATION_COUNTER_H

// Allocations (any of the functions above, realloc included) made by the
// calling thread since it started. Thread-safe: each thread has its own count.
unsigned long threadAllocations();

#endif  // TESTS_SUPPORT_ALLOCATION_COUNTER_H
