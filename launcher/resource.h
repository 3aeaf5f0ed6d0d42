// Resource ids of the launcher.
#ifndef VELMOR_LAUNCHER_RESOURCE_H
#define VELMOR_LAUNCHER_RESOURCE_H

// Icons
#define IDI_LAUNCHER 101

#endif
