// The partition access library's operations, as the agent imports them.
#pragma once

#include <windows.h>
