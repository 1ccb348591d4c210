#include "web/page_server/state_text.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "web/page_server/page_state.h"

namespace zarn_host {
namespace {

using json = nlohmann::json;

// What destinationJson and the source names read of a router, without the
// history beyond each destination's current route: a long session's history
// is many times the rest.
Router rowsOf(const Router& r) {
    Router copy;
    copy.device = r.device;
    copy.sources = r.sources;
    copy.destinations = r.destinations;
    copy.sourceNames = r.sourceNames;
    copy.destinationNames = r.destinationNames;
    copy.crosspoints = r.crosspoints;
    copy.locked = r.locked;
    copy.registrations = r.registrations;
    copy.changes = r.changes;
    for (int32_t d = 1; d <= r.destinations; ++d) {
        if (const Origin* by = r.routedBy(d)) {
            DestinationChange route;
            route.source = r.crosspoints[static_cast<std::size_t>(d)];
            route.origin = *by;
            copy.history.emplace_hint(copy.history.end(), d, std::vector<DestinationChange>{route});
        }
    }
    return copy;
}

}  // namespace

struct StateText::Part {
    enum class Kind { text, destinations, sourceNames };
    Kind kind = Kind::text;
    std::string text;
    std::size_t router = 0;  // rows: the copy in rows_
    bool lastOfRouter = false;
};

StateText::StateText() = default;
StateText::~StateText() = default;

void StateText::addText(const std::string& text) {
    if (parts_.empty() || parts_.back().kind != Part::Kind::text) parts_.emplace_back();
    parts_.back().text += text;
}

void StateText::addValue(const json& value) {
    addText(jsonText(value));
}

// A router object whose "destinations" and "sourceNames" are written from its
// copy; one the facility does not know is written as it is.
void StateText::addRouter(const json& router, const Facility& facility) {
    auto device = router.find("device");
    const Router* r = router.is_object() && device != router.end() && device->is_number_integer()
                          ? facility.router(*device)
                          : nullptr;
    if (!r) return addValue(router);
    std::size_t index = rows_.size();
    rows_.push_back(rowsOf(*r));
    std::size_t last = parts_.size();
    addText("{");
    bool first = true;
    for (auto it = router.begin(); it != router.end(); ++it) {
        addText((first ? "" : ",") + jsonText(it.key()) + ":");
        first = false;
        bool destinations = it.key() == "destinations", names = it.key() == "sourceNames";
        if (!destinations && !names) {
            addValue(*it);
            continue;
        }
        addText("[");
        Part rows;
        rows.kind = destinations ? Part::Kind::destinations : Part::Kind::sourceNames;
        rows.router = index;
        last = parts_.size();
        parts_.push_back(std::move(rows));
        addText("]");
    }
    addText("}");
    if (last < parts_.size() && parts_[last].kind != Part::Kind::text) parts_[last].lastOfRouter = true;
}

std::unique_ptr<StateText> StateText::ofState(const json& state, const Facility& facility) {
    std::unique_ptr<StateText> text(new StateText());
    if (!state.is_object()) {
        text->addValue(state);
        return text;
    }
    text->addText("{");
    bool first = true;
    for (auto it = state.begin(); it != state.end(); ++it) {
        text->addText((first ? "" : ",") + jsonText(it.key()) + ":");
        first = false;
        if (it.key() != "routers" || !it->is_array()) {
            text->addValue(*it);
            continue;
        }
        text->addText("[");
        for (std::size_t i = 0; i < it->size(); ++i) {
            if (i > 0) text->addText(",");
            text->addRouter((*it)[i], facility);
        }
        text->addText("]");
    }
    text->addText("}");
    return text;
}

std::unique_ptr<StateText> StateText::ofRouter(const json& router, const Facility& facility) {
    std::unique_ptr<StateText> text(new StateText());
    text->addRouter(router, facility);
    return text;
}

bool StateText::next(std::string& piece) {
    piece.clear();
    while (part_ < parts_.size() && piece.size() < pieceBytes) {
        Part& part = parts_[part_];
        bool done = false;
        if (part.kind == Part::Kind::text) {
            std::size_t n = std::min(part.text.size() - at_, pieceBytes - piece.size());
            piece.append(part.text, at_, n);
            at_ += n;
            done = at_ == part.text.size();
        } else if (part.kind == Part::Kind::destinations) {
            const Router& r = rows_[part.router];
            for (; static_cast<int32_t>(at_) < r.destinations && piece.size() < pieceBytes; ++at_) {
                if (at_ > 0) piece += ',';
                piece += jsonText(destinationJson(r, static_cast<int32_t>(at_) + 1));
            }
            done = static_cast<int32_t>(at_) >= r.destinations;
        } else {
            const auto& names = rows_[part.router].sourceNames;
            if (at_ == 0) name_ = names.begin();
            for (; name_ != names.end() && piece.size() < pieceBytes; ++name_, ++at_) {
                if (at_ > 0) piece += ',';
                piece += jsonText(sourceNameJson(name_->first, name_->second));
            }
            done = name_ == names.end();
        }
        if (!done) break;
        if (part.lastOfRouter) rows_[part.router] = Router{};  // written: its copy is let go
        part.text = std::string();
        ++part_;
        at_ = 0;
    }
    return !piece.empty();
}

}  // namespace zarn_host
