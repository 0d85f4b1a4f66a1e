#pragma once

#include <QString>

// The objects that live for the whole run, created in their documented order
// (failure handler, AppPath, then the ledger objects) and freed in reverse.
class TGlobalObjects
{
public:
    explicit TGlobalObjects(const QString &appPath);
    TGlobalObjects(const TGlobalObjects &) = delete;
    TGlobalObjects &operator=(const TGlobalObjects &) = delete;
    ~TGlobalObjects();
};
