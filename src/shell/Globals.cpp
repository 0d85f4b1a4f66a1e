#include "Globals.h"

#include "data/UException.h"
#include "data/UntPublic.h"

TGlobalObjects::TGlobalObjects(const QString &appPath)
{
    GCardException = new TCardException;
    AppPath = appPath;
}

TGlobalObjects::~TGlobalObjects()
{
    AppPath.clear();
    delete GCardException;
    GCardException = nullptr;
}
