// The agent's network settings discovery.
#pragma once

#include <windows.h>
