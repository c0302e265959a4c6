// The class-library subset that the system code uses, declared with the library's own class
// names and members. It brings the Win32 subset with it, as the library's own header does.
#pragma once

#include <windows.h>

#include "winsim/mfc/object.h"
#include "winsim/mfc/string.h"
#include "winsim/mfc/time.h"
#include "winsim/mfc/filefind.h"
