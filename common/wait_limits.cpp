#include "common/wait_limits.h"

WaitLimits &wait_limits()
{
    static WaitLimits limits;
    return limits;
}
