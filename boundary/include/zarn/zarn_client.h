/// @file
/// The boundary between a panel host and a panel script library.
///
/// This header is all a host needs: the two-way callback interface, the
/// notification type codes, the host record layouts and the entry point. It
/// depends on nothing but the C++ standard headers.
#pragma once

#include <cstddef>
#include <cstdint>

/// The two-way callback interface, implemented by both sides. The virtual
/// table order (destructor, then callback) is part of the boundary.
///
/// Facility hosts on Windows are built with Microsoft's compiler, whose table
/// holds one destructor slot: a deleting destructor taking flags (bit 0: free
/// the memory) that returns the object. That compiler gets the plain class
/// below. The mingw-w64 compilers give a virtual destructor two slots, which
/// would move callback, so for them slot 0 is declared by hand and their own
/// destructor pair goes after callback, where a host never looks. On 32-bit
/// Windows both slots use thiscall (object in ECX, callee pops the arguments).
#if defined(_WIN32) && !defined(_MSC_VER)
#if defined(__i386__)
#define ZARN_MEMBER_CALL __attribute__((thiscall))
#else
#define ZARN_MEMBER_CALL
#endif
class zarn_client_callback {
public:
    /// Slot 0. Destroys the object and, with bit 0 of flags, frees its memory.
    /// The library never calls it on the host's object.
    virtual void* ZARN_MEMBER_CALL deleting_destructor(unsigned int flags) {
        if (flags & 1u) {
            delete this;
        } else {
            this->~zarn_client_callback();
        }
        return this;
    }
    /// Slot 1. data and the meaning of the result depend on type (see
    /// zarn_type). Called on the host's panel thread only, one call at a time.
    virtual char* ZARN_MEMBER_CALL callback(void* data, int32_t type) = 0;
    /// Slots 2 and 3, for code built by the same compiler (delete, unique_ptr).
    virtual ~zarn_client_callback() = default;
};
#else
class zarn_client_callback {
public:
    /// The host deletes a panel through this destructor.
    virtual ~zarn_client_callback() = default;
    /// One notification or command: data and the meaning of the result depend
    /// on type (see zarn_type). Called on the host's panel thread only, one
    /// call at a time.
    virtual char* callback(void* data, int32_t type) = 0;
};
#endif

/// The type codes of zarn_client_callback::callback, one numbering for both directions.
enum zarn_type : int32_t {
    zarn_type_command = 0,         ///< script -> host: command text; reply host-owned or null
    zarn_type_revertive = 1,       ///< host -> script: RevertiveEvent*; host-owned, valid during the call
    zarn_type_button = 2,          ///< host -> script: ButtonEvent*; host-owned, valid during the call
    zarn_type_parent_message = 3,  ///< host -> script: parent message text; reply script-owned or null
    zarn_type_timer = 4,           ///< host -> script: timer id held in the pointer value
    zarn_type_release = 5,         ///< both ways: a buffer the receiver returned earlier; receiver frees it
    zarn_type_record = 6,          ///< host -> script: record pointer, not interpreted
    zarn_type_value = 7,           ///< host -> script: integer held in the pointer value
};

/// Event details attached to a button event. Laid out like the leading fields
/// of the parameter parser (ParamCommand), so command and value sit at the
/// same offsets. Offsets are given for 4-byte pointers (8-byte in parentheses).
struct ButtonEventDetails {
    const char* command;        ///< 0; text before the first "." or "="
    const char* subFields[32];  ///< 4 (8); the dot-separated fields between command and value
    const char* value;          ///< 132 (264); text after the first "="
};

/// The record of a type-2 notification: a button press or list pick. Host-owned;
/// the script reads it only during the notification.
struct ButtonEvent {
    int32_t reserved[2];                ///< 0; not read
    const char* panelId;                ///< 8; the panel the control is on ("1" for the K7 panel)
    const char* controlId;              ///< 12 (16); the control's id as the panel file names it
    const ButtonEventDetails* details;  ///< 16 (24); command and value of the event, or null
};

/// Offset of the revertive text in a RevertiveEvent record.
constexpr std::size_t zarn_revertive_text_offset = 16;

/// The record of a type-1 notification: a device reports a change. Host-owned;
/// the script reads it only during the notification. The fixed fields come
/// first; the text follows at offset 16 and runs to its NUL. The host decides
/// how long the record, and so the text, is: a script relies on the NUL, never
/// on a size (<zarn/revertive_record.h> builds such a record).
struct RevertiveEvent {
    int32_t device;     ///< 0; device number the revertive comes from
    int32_t reserved1;  ///< 4; not read
    int32_t index;      ///< 8; for a router, the destination
    int32_t reserved2;  ///< 12; not read

    /// The NUL-terminated text held in the record after the fixed fields.
    const char* text() const { return reinterpret_cast<const char*>(this) + zarn_revertive_text_offset; }
};

static_assert(offsetof(ButtonEventDetails, command) == 0, "details command offset");
static_assert(offsetof(ButtonEventDetails, value) == 33 * sizeof(void*), "details value offset");
static_assert(offsetof(ButtonEvent, panelId) == 8, "ButtonEvent panelId offset");
static_assert(offsetof(ButtonEvent, controlId) == 8 + sizeof(void*), "ButtonEvent controlId offset");
static_assert(offsetof(ButtonEvent, details) == 8 + 2 * sizeof(void*), "ButtonEvent details offset");
static_assert(offsetof(RevertiveEvent, device) == 0 && offsetof(RevertiveEvent, index) == 8 &&
                  sizeof(RevertiveEvent) == zarn_revertive_text_offset,
              "RevertiveEvent offsets");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(ButtonEventDetails, value) == 132, "32-bit host layout");
static_assert(offsetof(ButtonEvent, controlId) == 12 && offsetof(ButtonEvent, details) == 16, "32-bit host layout");
#endif

/// Declares the entry point with C linkage and exports it from the panel library.
#if defined(_WIN32)
#define ZARN_EXPORT extern "C" __declspec(dllexport)
#else
#define ZARN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

/// The one symbol a panel library exports. Creates and starts the panel (all
/// its start-up commands go to host before this returns); path is the folder of
/// the panel's files and may be empty or null. Returns null when the panel
/// cannot be created. The host deletes the result through its virtual
/// destructor (slot 0 on Windows) and must outlive it.
ZARN_EXPORT zarn_client_callback* load_zarn_client_script(zarn_client_callback* host, const char* path);

/// What a host resolves: the entry point's type.
using load_zarn_client_script_fn = zarn_client_callback* (*)(zarn_client_callback* host, const char* path);
