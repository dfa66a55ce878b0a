#pragma once

#include "framework/CWinApp.h"

// The application: runs the progress dialog and ends when it ends.
class CStartupApp : public CWinApp {
public:
    CStartupApp();

    virtual BOOL InitInstance();
};
