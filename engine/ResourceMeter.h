#pragma once
// The resource meter behind the "R" tokens: MyGetFreeSystemResources32 of librsrc32.so
// (rsrc32.dll on Windows), bound at the first token that needs it, so the programs start and
// run without it. Depends on the runtime only.

#include "runtime/Library.h"

#include <QString>

#include <cstdint>

namespace zp {

// The meter's signature: the resource kind in, the percentage free out.
#if defined(_WIN32)
using ResourceMeterFunction = std::int32_t(__stdcall*)(std::int32_t);
#else
using ResourceMeterFunction = std::int32_t (*)(std::int32_t);
#endif

// The library file the "R" tokens bind by default, looked for by bare name.
QString defaultResourceMeterLibrary();
// The export looked up: the plain name on ELF, the stdcall-decorated one on Windows.
const char* resourceMeterEntry();

// The binding the "R" tokens use.
vb::LibraryFunction& resourceMeter();

// For tests only: binds the "R" tokens to another library from their next use on (a bare file
// name or an absolute path, as vb::LibraryFunction takes them), forgetting the current binding;
// an empty name goes back to the default library.
void setResourceMeterLibrary(const QString& library);

} // namespace zp
