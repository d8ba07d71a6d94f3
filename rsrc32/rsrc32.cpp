// librsrc32.so: the one export that the "R" tokens bind at their first use. The name is
// undecorated (ELF has no stdcall decoration); one signed 32-bit argument, the kind, and a
// signed 32-bit result, the percentage free, or -1 for an unknown kind.

#include "rsrc32/ResourceMeter.h"

#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t
MyGetFreeSystemResources32(std::int32_t kind)
{
    return rsrc32::freePercent(kind, rsrc32::currentSources());
}
