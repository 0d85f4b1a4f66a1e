#include "Globals.h"

#include "data/UException.h"
#include "data/UntPublic.h"
#include "ledger/UntAccount.h"
#include "ledger/UntBookKeep.h"
#include "ledger/UntConfig.h"
#include "ledger/UntNote.h"

TGlobalObjects::TGlobalObjects(const QString &appPath)
{
    // The failure handler, not a failure: nothing is thrown here.
    GCardException = new TCardException; // NOLINT(bugprone-throw-keyword-missing)
    AppPath = appPath;
    GConfig = new TConfig;
    GAccount = new TAccount;
    GBookKeep = new TBookKeep;
    GNote = new TNote;
}

TGlobalObjects::~TGlobalObjects()
{
    delete GNote;
    GNote = nullptr;
    delete GBookKeep;
    GBookKeep = nullptr;
    delete GAccount;
    GAccount = nullptr;
    delete GConfig;
    GConfig = nullptr;
    AppPath.clear();
    delete GCardException;
    GCardException = nullptr;
}
