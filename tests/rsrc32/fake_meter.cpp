// A made-up resource meter for the binding tests: 85 for kind 0, -1 for 1, 150 for 2.

#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t MyGetFreeSystemResources32(std::int32_t kind)
{
    return kind == 0 ? 85 : kind == 1 ? -1 : kind == 2 ? 150 : 7777;
}
