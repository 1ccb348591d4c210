// ZARN_UNDER_SANITIZER is defined when AddressSanitizer is built in: tests
// that measure memory or run long then scale down or skip their figures.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define ZARN_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARN_UNDER_SANITIZER 1
#endif
#endif
