// SW-P-08's messages: their texts for traces, name lengths and equality.
#include <string>

#include "bridges/codecs/swp08_kinds.h"
#include "bridges/codecs/swp08_messages.h"
#include "bridges/codecs/swp08_text.h"

namespace zarn_host::swp08 {

using detail::format;
using detail::hasSource;
using detail::isCrosspoint;
using detail::isNames;
using detail::isNamesRequest;
using detail::isSalvoCrosspoint;
using detail::levelless;

std::size_t nameChars(NameLength length) {
    switch (length) {
        case NameLength::four:
            return 4;
        case NameLength::eight:
            return 8;
        case NameLength::twelve:
            return 12;
        case NameLength::sixteen:
            return 16;
    }
    return 8;
}

std::size_t namesPerMessage(NameLength length) {
    switch (length) {
        case NameLength::four:
            return 31;
        case NameLength::eight:
            return 15;
        case NameLength::twelve:
            return 10;
        case NameLength::sixteen:
            return 7;
    }
    return 15;
}

std::size_t talliesPerMessage(Form form) {
    return form == Form::plain ? 64 : 63;
}

bool Message::operator==(const Message& o) const {
    return kind == o.kind && form == o.form && matrix == o.matrix && level == o.level && destination == o.destination &&
           source == o.source && badSource == o.badSource && wordDump == o.wordDump && first == o.first &&
           sources == o.sources && nameLength == o.nameLength && names == o.names && salvo == o.salvo &&
           index == o.index && code == o.code && idleFaulty == o.idleFaulty && device == o.device &&
           protects == o.protects;
}

namespace detail {

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::interrogate:
            return "interrogate";
        case Kind::connect:
            return "connect";
        case Kind::tally:
            return "tally";
        case Kind::connected:
            return "connected";
        case Kind::tally_dump_request:
            return "tally dump request";
        case Kind::tally_dump:
            return "tally dump";
        case Kind::source_names_request:
            return "source names request";
        case Kind::destination_names_request:
            return "destination names request";
        case Kind::source_names:
            return "source names";
        case Kind::destination_names:
            return "destination names";
        case Kind::dual_status_request:
            return "dual controller status request";
        case Kind::dual_status_response:
            return "dual controller status response";
        case Kind::salvo_connect:
            return "salvo connect on go";
        case Kind::salvo_connect_ack:
            return "salvo connect on go acknowledge";
        case Kind::salvo_go:
            return "salvo go";
        case Kind::salvo_go_done:
            return "salvo go done";
        case Kind::salvo_interrogate:
            return "salvo interrogate";
        case Kind::salvo_tally:
            return "salvo tally";
        case Kind::protect_interrogate:
            return "protect interrogate";
        case Kind::protect_tally:
            return "protect tally";
        case Kind::protect_connect:
            return "protect connect";
        case Kind::protect_connected:
            return "protect connected";
        case Kind::protect_disconnect:
            return "protect disconnect";
        case Kind::protect_disconnected:
            return "protect disconnected";
        case Kind::master_protect_connect:
            return "master protect connect";
        case Kind::protect_dump_request:
            return "protect dump request";
        case Kind::protect_dump:
            return "protect dump";
    }
    return "?";
}

}  // namespace detail

using detail::kindName;

std::string describe(const Message& m) {
    std::string text = m.form == Form::extended ? "ext " : "";
    text += kindName(m.kind);
    switch (m.kind) {
        case Kind::dual_status_request:
            return text;
        case Kind::dual_status_response:
            return text + format(" %02X %02X hex", m.code, m.idleFaulty ? 1u : 0u);
        case Kind::salvo_go:
        case Kind::salvo_go_done:
            return text + format(" %u code %u", m.salvo, m.code);
        case Kind::salvo_interrogate:
            return text + format(" %u index %u", m.salvo, m.index);
        default:
            break;
    }
    text += format(" m%u", m.matrix);
    if (!levelless(m) && m.kind != Kind::destination_names && m.kind != Kind::destination_names_request)
        text += format(" l%u", m.level);
    if (isCrosspoint(m.kind)) text += format(" d%u", m.destination);
    if (hasSource(m.kind)) text += format(" s%u", m.source);
    if (detail::hasProtectState(m.kind)) text += format(" state %u", m.code);
    if (detail::hasDevice(m.kind)) text += format(" device %u", m.device);
    if (m.kind == Kind::protect_dump_request) text += format(" from d%u", m.first);
    if (m.kind == Kind::protect_dump)
        text += format(" from d%u, %u protects", m.first, static_cast<unsigned>(m.protects.size()));
    if (isSalvoCrosspoint(m.kind)) text += format(" salvo %u", m.salvo);
    if (m.kind == Kind::salvo_tally) text += format(" index %u validity %u", m.index, m.code);
    if (m.kind == Kind::tally_dump)
        text += format(" from d%u, %u tallies", m.first, static_cast<unsigned>(m.sources.size()));
    if (isNamesRequest(m.kind)) text += format(" %u chars", static_cast<unsigned>(nameChars(m.nameLength)));
    if (isNames(m.kind))
        text += format(" from %u, %u names of %u chars", m.first, static_cast<unsigned>(m.names.size()),
                       static_cast<unsigned>(nameChars(m.nameLength)));
    return text;
}

}  // namespace zarn_host::swp08
