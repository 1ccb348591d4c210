// The 1.0 path of <zarn/revertive_record.h>, kept so that panels written against 1.0 build
// unchanged. New code includes <zarn/revertive_record.h>.
#pragma once

#include <zarn/revertive_record.h>
