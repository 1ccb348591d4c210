// Version information of the k7_mon library, shared by the Windows version
// resource. Plain macros, so the resource compiler can read them too.
#pragma once

#define K7_MON_FILE_DESCRIPTION "K7 Bay Monitoring Switching"
#define K7_MON_COMMENTS "ZARN V4.5 Script Component"
#define K7_MON_INTERNAL_NAME "k7_mon"
#define K7_MON_ORIGINAL_FILENAME "k7_mon"
#define K7_MON_VERSION_TEXT "1, 0, 0, 1"
#define K7_MON_VERSION 1, 0, 0, 1
