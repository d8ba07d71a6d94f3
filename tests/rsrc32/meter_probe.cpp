// A tiny program for the install test: reads the "RS" token as an installed program does and
// says which meter file it bound, so the test can tell where the meter came from.

#include "engine/ResourceMeter.h"
#include "engine/ZPModule.h"

#include <QFile>

#include <cstdio>

int main()
{
    const QString value = zp::FreeSysResource(QStringLiteral("RS"));
    std::printf("RS=%s\nfrom=%s\n", value.toUtf8().constData(), QFile::encodeName(zp::resourceMeter().loadedFrom()).constData());
}
