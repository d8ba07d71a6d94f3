// A made-up resource meter for the binding tests: a fixed answer for each kind.

#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t
MyGetFreeSystemResources32(std::int32_t kind)
{
    switch (kind) {
    case 0: return 85;
    case 1: return -1;
    case 2: return 150;
    default: return 7777;
    }
}
