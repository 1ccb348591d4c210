// SW-P-08 router control, the messages of the crosspoint, protect, names,
// salvo and dual controller status subset, plain and extended forms: a frame's DATA (command byte and message) to and
// from a Message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bridges/codecs/swp08_link.h"

namespace zarn_host::swp08 {

enum class Command : uint8_t {
    interrogate = 1,
    connect = 2,
    tally = 3,
    connected = 4,
    dual_status_request = 8,
    dual_status_response = 9,
    protect_interrogate = 10,
    protect_tally = 11,
    protect_connect = 12,
    protect_connected = 13,
    protect_disconnect = 14,
    protect_disconnected = 15,
    protect_dump_request = 19,
    protect_dump = 20,
    tally_dump_request = 21,
    tally_dump_byte = 22,
    tally_dump_word = 23,
    master_protect_connect = 29,
    source_names_request = 100,
    destination_names_request = 102,
    source_names = 106,
    destination_names = 107,
    salvo_connect = 120,
    salvo_go = 121,
    salvo_connect_ack = 122,
    salvo_go_done = 123,
    salvo_interrogate = 124,
    salvo_tally = 125,
    ext_interrogate = 129,
    ext_connect = 130,
    ext_tally = 131,
    ext_connected = 132,
    ext_protect_interrogate = 138,
    ext_protect_tally = 139,
    ext_protect_connect = 140,
    ext_protect_connected = 141,
    ext_protect_disconnect = 142,
    ext_protect_disconnected = 143,
    ext_tally_dump_request = 149,
    ext_tally_dump_word = 151,
    ext_source_names_request = 228,
    ext_destination_names_request = 230,
    ext_source_names = 234,
    ext_destination_names = 235,
};

enum class Kind : uint8_t {
    interrogate,
    connect,
    tally,
    connected,
    tally_dump_request,
    tally_dump,
    source_names_request,
    destination_names_request,
    source_names,
    destination_names,
    dual_status_request,
    dual_status_response,
    salvo_connect,      // connect on go: a crosspoint stored in a salvo group
    salvo_connect_ack,  // its acknowledge, the crosspoint as stored
    salvo_go,           // set (code 0) or clear (code 1) a salvo group's crosspoints
    salvo_go_done,      // code 0 set, 1 cleared, 2 nothing to set or clear
    salvo_interrogate,  // a salvo group's crosspoint at a connect index
    salvo_tally,        // its answer; code 0 more follow, 1 the last, 2 none there
    // Protects: a destination held for a device number. The answers carry
    // the protect state (`code`, a ProtectState) and the device holding it.
    protect_interrogate,
    protect_tally,
    protect_connect,         // protect the destination for `device`
    protect_connected,       // a protect made, to every controller
    protect_disconnect,      // release it (from the device holding it)
    protect_disconnected,    // a protect released, to every controller
    master_protect_connect,  // protect for `device` whoever holds it (plain form only)
    protect_dump_request,    // the protects from `first` on (plain form only)
    protect_dump,            // `protects` of the destinations from `first` on (plain form only)
};

// A protect's state on the wire.
enum class ProtectState : uint8_t { none = 0, protect = 1, override_protect = 2, oem_protect = 3 };

// Plain forms pack matrix and level in a byte (0-15 each) and numbers in 10
// bits (0-1023); extended forms have a byte for each of matrix and level and
// 16 bits for numbers.
enum class Form : uint8_t { plain, extended };

// The name lengths a names request asks for and a names message carries.
enum class NameLength : uint8_t { four = 0, eight = 1, twelve = 2, sixteen = 3 };
std::size_t nameChars(NameLength length);
// How many names one message carries within kMessageLimit: 31, 15, 10, 7.
std::size_t namesPerMessage(NameLength length);
// Tallies a tally dump message carries within kMessageLimit: the plain word
// form 64, the extended form 63.
std::size_t talliesPerMessage(Form form);
// Destinations a protect dump message carries.
inline constexpr std::size_t kProtectsPerMessage = 16;

// The longest DATA (command byte and message) the protocol document lets a
// message have; encode refuses a longer one.
inline constexpr std::size_t kMessageLimit = 133;

// One destination's protect in a protect dump: its state and the device
// holding it (0-1023).
struct Protect {
    uint8_t state = 0;
    uint16_t device = 0;
    bool operator==(const Protect& o) const { return state == o.state && device == o.device; }
};

struct Message {
    Kind kind = Kind::interrogate;
    Form form = Form::plain;
    uint8_t matrix = 0;
    uint8_t level = 0;                          // destination names: always 0 in the extended form
    uint16_t destination = 0;                   // interrogate, connect, tally, connected
    uint16_t source = 0;                        // connect, tally, connected
    bool badSource = false;                     // plain forms: the multiplier's "source bad" bit
    bool wordDump = false;                      // tally dump, plain form: word (23) rather than byte (22)
    uint16_t first = 0;                         // tally dump: first destination; names: first number
    std::vector<uint16_t> sources;              // tally dump: the source of each destination from first on
    NameLength nameLength = NameLength::eight;  // names and their requests
    std::vector<std::string> names;             // names: from first on; trailing blanks trimmed
    uint8_t salvo = 0;                          // salvo messages: the group, 0-127
    uint8_t index = 0;                          // salvo interrogate and tally: the connect index
    uint8_t code = 0;                           // salvo go, go done, tally: as by kind; dual status: byte 1
    bool idleFaulty = false;                    // dual controller status response: byte 2
    uint16_t device = 0;                        // protects: the device number (0-1023 in the plain forms)
    std::vector<Protect> protects;              // protect dump: from first on

    bool operator==(const Message& other) const;
    bool operator!=(const Message& other) const { return !(*this == other); }
};

// The command a message is sent with (its kind and form).
Command commandOf(const Message& message);
// Whether the numbers fit the plain form.
bool fitsPlain(const Message& message);
// Whether the message carries a level: extended destination names and their
// requests name a matrix only.
bool hasLevel(const Message& message);
// A short description for traces ("ext connect m0 l1 d5 s3").
std::string describe(const Message& message);

struct Encoded {
    Bytes data;  // command byte and message, unframed
    Error error = Error::none;
    std::string detail;
    bool ok() const { return error == Error::none; }
};
// A message's DATA. Values out of range for the form, or a count of names,
// tallies or protects that makes the DATA longer than kMessageLimit give
// bad_value. Names longer than the name length are cut.
Encoded encode(const Message& message);
// encode and frame together; empty when the message does not encode.
Bytes encodeFrame(const Message& message);

struct Decoded {
    Message message;
    Error error = Error::none;
    std::string detail;
    bool ok() const { return error == Error::none; }
};
// A frame's DATA (as the Decoder gives it) as a message.
Decoded decodeMessage(const uint8_t* data, std::size_t size);
inline Decoded decodeMessage(const Bytes& data) {
    return decodeMessage(data.data(), data.size());
}

}  // namespace zarn_host::swp08
