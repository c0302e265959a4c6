// The Win32 subset that the system code calls, declared with the real names, signatures,
// integer widths and constants. This is the only platform header system code includes besides
// the class-library umbrella <afx.h>; everything behind it (the simulated PC) stays hidden.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
// Standard headers that use the names crt.h replaces are brought in first, so that the
// replacement reaches system code only.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "winsim/types.h"
#include "winsim/error.h"
#include "winsim/handle.h"
#include "winsim/registry.h"
#include "winsim/file.h"
#include "winsim/profile.h"
#include "winsim/version.h"
#include "winsim/module.h"
#include "winsim/process.h"
#include "winsim/device.h"
#include "winsim/time.h"
#include "winsim/msgbox.h"
#include "winsim/message.h"
#include "winsim/service.h"
#include "winsim/eventlog.h"
#include "winsim/token.h"
#include "winsim/sysinfo.h"
#include "winsim/winsock.h"
#include "winsim/iphlpapi.h"

#include "winsim/crt.h"
