// Loads the run list from the registry as the progress window does (load, copy the display
// values, delete the step subkeys), then runs every step in order, without a window. Prints
// the number of steps it ran.

#include <stdio.h>

#include "manifest/CRunList.h"

int main()
{
    CRunList runList;
    runList.LoadManifest();
    runList.WriteDisplayValues();
    runList.DeleteStepKeys();
    runList.RunAllSteps();
    printf("steps: %u\n", runList.m_nSteps);
    runList.FreeSteps();
    return 0;
}
