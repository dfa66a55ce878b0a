// Loads the run list from the registry as the progress window does (load, copy the display
// values, delete the step subkeys), then runs every step in order, without a window. Where the
// window would close before its first paint (a run list that cannot be used), it runs none.
// Prints the number of steps it loaded and consumed, last, as "steps: N".

#include <stdio.h>

#include "manifest/CRunList.h"

int main()
{
    CRunList runList;
    runList.LoadManifest();
    runList.WriteDisplayValues();
    runList.DeleteStepKeys();
    if (runList.IsUsable())
        runList.RunAllSteps();
    else
        printf("run list cannot be used: no step run\n");
    printf("steps: %u\n", runList.m_nSteps);
    runList.FreeSteps();
    return 0;
}
