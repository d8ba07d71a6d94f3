// A library that loads but lacks the meter's entry point: only a near miss of its name.

#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t MyGetFreeSystemResources(std::int32_t) { return 42; }
