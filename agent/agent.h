// The agent frame: program entry, service control, event log and the collection run.
#pragma once

#include <windows.h>
