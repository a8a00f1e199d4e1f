#include "system/LaunchVerb.h"

const char kVerbRunAs[] = "runas";
const char kVerbDefault[] = "";

const char* SelectLaunchVerb(bool isVistaOrLater, int (*isAdministrator)())
{
    if (isVistaOrLater)
        return kVerbRunAs;
    return isAdministrator() == 1 ? kVerbDefault : kVerbRunAs;
}
