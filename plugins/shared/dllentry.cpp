// The second entry of every plug-in, kept for hosts that look for it.
#include <kestrel/plugin.h>

int DllEntryPoint(unsigned long, unsigned long, void *) { return 1; }
