// Inside the SW-P-08 codec: what each kind of message carries, shared by the
// encoder, the decoder and the descriptions.
#pragma once

#include "bridges/codecs/swp08_messages.h"

namespace zarn_host::swp08::detail {

// Salvo crosspoints: a crosspoint's address, destination and source, then
// the salvo group (and, in a salvo tally, the connect index and validity).
inline bool isSalvoCrosspoint(Kind kind) {
    return kind == Kind::salvo_connect || kind == Kind::salvo_connect_ack || kind == Kind::salvo_tally;
}
inline bool hasSource(Kind kind) {
    return kind == Kind::connect || kind == Kind::tally || kind == Kind::connected || isSalvoCrosspoint(kind);
}
// Protect messages addressing one destination: with the device (connect,
// disconnect, master) and also the state (tally, connected, disconnected).
inline bool hasProtectState(Kind kind) {
    return kind == Kind::protect_tally || kind == Kind::protect_connected || kind == Kind::protect_disconnected;
}
inline bool hasDevice(Kind kind) {
    return kind == Kind::protect_connect || kind == Kind::protect_disconnect || kind == Kind::master_protect_connect ||
           hasProtectState(kind);
}
inline bool isProtect(Kind kind) {
    return kind == Kind::protect_interrogate || hasDevice(kind);
}
// Messages addressing one destination (crosspoints and protects).
inline bool isCrosspoint(Kind kind) {
    return kind == Kind::interrogate || hasSource(kind) || isProtect(kind);
}
// Messages with a plain form only.
inline bool plainOnly(Kind kind) {
    return kind == Kind::master_protect_connect || kind == Kind::protect_dump_request || kind == Kind::protect_dump;
}
inline bool isNames(Kind kind) {
    return kind == Kind::source_names || kind == Kind::destination_names;
}
inline bool isNamesRequest(Kind kind) {
    return kind == Kind::source_names_request || kind == Kind::destination_names_request;
}
// Messages without a matrix or level: two bytes or none after the command.
inline bool isShort(Kind kind) {
    return kind == Kind::dual_status_request || kind == Kind::dual_status_response || kind == Kind::salvo_go ||
           kind == Kind::salvo_go_done || kind == Kind::salvo_interrogate;
}
// Destination names carry a matrix but no level in the extended form.
inline bool levelless(const Message& m) {
    return m.form == Form::extended && (m.kind == Kind::destination_names || m.kind == Kind::destination_names_request);
}
const char* kindName(Kind kind);

}  // namespace zarn_host::swp08::detail
