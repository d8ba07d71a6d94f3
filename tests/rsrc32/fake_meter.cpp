// A made-up resource meter for the binding tests: a fixed answer for each kind, and a record of
// the calls that the tests read through the two extra exports.

#include <cstdint>

namespace {
int g_calls = 0;
std::int32_t g_lastKind = -1000;
} // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t
MyGetFreeSystemResources32(std::int32_t kind)
{
    ++g_calls;
    g_lastKind = kind;
    switch (kind) {
    case 0: return 85;
    case 1: return -1;
    case 2: return 150;
    default: return 7777;
    }
}

extern "C" __attribute__((visibility("default"))) int fakeMeterCalls()
{
    return g_calls;
}

extern "C" __attribute__((visibility("default"))) std::int32_t fakeMeterLastKind()
{
    return g_lastKind;
}
