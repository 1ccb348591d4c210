/// @file
/// ParamCommand: splits "command.sub1.sub2=value" in place.
#pragma once

#include <zarn/zarn_client.h>

#include <cstddef>
#include <cstdint>

/// The shared empty text every unfilled slot of the parsers points at.
extern const char zarn_empty_text[1];

/// A parent message or event detail text, "command.sub1.sub2=value", split in place.
///
/// One owned copy of the input; separators are overwritten with NUL and every
/// field points into the copy. Slots without a part point at one shared static
/// empty text (zarn_empty_text), never at null. Nothing but the copy is allocated.
class ParamCommand {
public:
    /// Most sub-fields split off; the last one keeps the rest of the text, "=" included.
    static constexpr int maxSubFields = 32;

    /// Parses text at once; text may be null (read as empty).
    explicit ParamCommand(const char* text);
    /// Frees the copy the fields point into.
    ~ParamCommand();
    ParamCommand(const ParamCommand&) = delete;             ///< Not copyable: the fields point into the copy.
    ParamCommand& operator=(const ParamCommand&) = delete;  ///< Not assignable.

    const char* command;                  ///< text before the first "." or "="
    const char* subFields[maxSubFields];  ///< after the (k+1)-th "." up to the next "." or "="
    const char* value;                    ///< text after the first "="
    int32_t subFieldCount;                ///< 0 to 32
    bool hasValue;                        ///< an "=" was found
    char* buffer;                         ///< owned copy; null for a null or empty input
};

// The host's event details carry command and value where ParamCommand has them.
static_assert(offsetof(ParamCommand, command) == offsetof(ButtonEventDetails, command), "command offset");
static_assert(offsetof(ParamCommand, value) == offsetof(ButtonEventDetails, value), "value offset");
static_assert(offsetof(ParamCommand, subFields) == sizeof(void*), "subFields offset");
static_assert(offsetof(ParamCommand, subFieldCount) == 33 * sizeof(void*) + sizeof(void*), "subFieldCount offset");
static_assert(offsetof(ParamCommand, hasValue) == offsetof(ParamCommand, subFieldCount) + 4, "hasValue offset");
static_assert(offsetof(ParamCommand, buffer) == offsetof(ParamCommand, subFieldCount) + 8, "buffer offset");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(ParamCommand, value) == 132 && offsetof(ParamCommand, subFieldCount) == 136 &&
                  offsetof(ParamCommand, hasValue) == 140 && offsetof(ParamCommand, buffer) == 144,
              "32-bit host layout");
#else
static_assert(offsetof(ParamCommand, value) == 264 && offsetof(ParamCommand, subFieldCount) == 272 &&
                  offsetof(ParamCommand, hasValue) == 276 && offsetof(ParamCommand, buffer) == 280,
              "64-bit layout");
#endif
