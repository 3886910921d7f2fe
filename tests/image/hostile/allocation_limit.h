#pragma once
// An allocation limit for one test program: while a limit is set, every malloc-family request
// that would take the bytes allocated since then past it is refused (null, so operator new
// raises std::bad_alloc) and remembered. A decoder that allocates for a claimed picture before
// checking its data is caught by the record, not by whether it survived the refusal.
#include <cstddef>

// Sets the limit (0 lifts it) and forgets earlier refusals.
void setAllocationLimit(std::size_t bytes);
// The largest request refused since the limit was set, or 0.
std::size_t largestRefusedAllocation();
