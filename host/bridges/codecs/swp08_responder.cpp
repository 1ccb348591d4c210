// SW-P-08: a router's answers to a controller's requests.
#include "bridges/codecs/swp08_responder.h"

#include <algorithm>
#include <utility>

namespace zarn_host::swp08 {

namespace {

Message answer(const Message& request, Kind kind) {
    Message m;
    m.kind = kind;
    m.form = request.form;
    m.matrix = request.matrix;
    m.level = request.level;
    return m;
}

void upgradeIfNeeded(Message& m) {
    if (m.form == Form::plain && !fitsPlain(m)) m.form = Form::extended;
}

}  // namespace

Message tallyFor(const Message& interrogate, uint16_t source) {
    Message m = answer(interrogate, Kind::tally);
    m.destination = interrogate.destination;
    m.source = source;
    upgradeIfNeeded(m);
    return m;
}

Message connectedFor(const Message& connect) {
    Message m = answer(connect, Kind::connected);
    m.destination = connect.destination;
    m.source = connect.source;
    upgradeIfNeeded(m);
    return m;
}

std::vector<Message> tallyDumpFor(const Message& request, const std::vector<uint16_t>& sources) {
    const std::size_t kPerMessage = talliesPerMessage(request.form);
    std::vector<Message> out;
    // The byte form takes numbers up to 191.
    const bool small =
        sources.size() <= 192 && std::all_of(sources.begin(), sources.end(), [](uint16_t s) { return s <= 191; });
    for (std::size_t start = 0; start < sources.size(); start += kPerMessage) {
        Message m = answer(request, Kind::tally_dump);
        m.wordDump = request.form == Form::plain && !small;
        m.first = static_cast<uint16_t>(start);
        const std::size_t end = std::min(sources.size(), start + kPerMessage);
        m.sources.assign(sources.begin() + static_cast<std::ptrdiff_t>(start),
                         sources.begin() + static_cast<std::ptrdiff_t>(end));
        out.push_back(std::move(m));
        if (start + kPerMessage > 0xFFFF) break;
    }
    return out;
}

std::vector<Message> namesFor(const Message& request, const std::vector<std::string>& names) {
    const Kind kind = request.kind == Kind::source_names_request ? Kind::source_names : Kind::destination_names;
    const std::size_t perMessage = namesPerMessage(request.nameLength);
    std::vector<Message> out;
    for (std::size_t start = 0; start < names.size() && start <= 0xFFFF; start += perMessage) {
        Message m = answer(request, kind);
        if (!hasLevel(m)) m.level = 0;
        m.nameLength = request.nameLength;
        m.first = static_cast<uint16_t>(start);
        const std::size_t end = std::min(names.size(), start + perMessage);
        for (std::size_t i = start; i < end; ++i) {
            // Trailing blanks do not survive the wire; cut here so the
            // message equals what the peer decodes.
            std::string name = names[i].substr(0, nameChars(request.nameLength));
            while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
            m.names.push_back(std::move(name));
        }
        out.push_back(std::move(m));
    }
    return out;
}

}  // namespace zarn_host::swp08
