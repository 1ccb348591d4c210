// The 1.0 path of <zarn/param_command.h>, kept so that panels written against 1.0 build
// unchanged. New code includes <zarn/param_command.h>.
#pragma once

#include <zarn/param_command.h>
