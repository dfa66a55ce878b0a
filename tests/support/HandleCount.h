#pragma once

#include <windows.h>

// How many kernel handles this process holds. GetProcessHandleCount where the platform counts
// them; Wine 8 answers 0 there, and its system handle list is read instead. 0 when neither
// answers.
DWORD ProcessHandleCount();

// How many GDI objects (GR_GDIOBJECTS) or window manager objects (GR_USEROBJECTS) this process
// holds; 0 where the platform does not count them (Wine 8 does not).
DWORD GuiObjectCount(DWORD dwKind);

// Handles the platform itself may open on the way and keep (caches, a worker of its own) are
// allowed for; one handle per step, line or window over a test's many is not.
const DWORD kPlatformHandleSlack = 3;
