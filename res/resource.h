// The ids the program's resources are known by: installers and other tools look the dialog
// template and the icon up by these numbers, so they never change. Plain definitions, read by
// the resource compiler as well as the C++ compiler.
#ifndef FINISHINSTALL_RESOURCE_H
#define FINISHINSTALL_RESOURCE_H

#define IDD_PROGRESS 102
#define IDI_PROGRAM 128

#endif
