#pragma once

// The runner shares the Linux layer's descriptor owner, so that the helper,
// which links both, has one UniqueFd.
#include "StaywakeLinux/Socket/UniqueFd.h"
