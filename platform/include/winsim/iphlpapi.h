#pragma once

#include "winsim/types.h"
