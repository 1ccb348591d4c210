// The 1.0 path of <zarn/zarn_string.h>, kept so that panels written against 1.0 build
// unchanged. New code includes <zarn/zarn_string.h>.
#pragma once

#include <zarn/zarn_string.h>
