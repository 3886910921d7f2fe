#pragma once
#include <cstdint>

// The click handler of every layout button: rowAddress is the address of its LayoutRow.
void runButtonAction(uintptr_t rowAddress);
