// The whole state, or one router, as JSON text handed out a piece at a time.
// A large facility's state is megabytes of text and many times that as a
// document; written this way neither is ever held whole. The routers' rows
// (their destinations and source names) are written from a copy of what
// they show, taken on the panel thread with the rest, so the text is one
// moment's state however slowly it is read. The text is the same, byte for
// byte, as jsonText of the state made whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "model/facility.h"

namespace zarn_host {

class StateText {
public:
    // A piece is about this long (a row more at most); the text's fixed parts
    // are cut to it.
    static constexpr std::size_t pieceBytes = 32 * 1024;

    // Panel thread: state as pageState(..., RouterDetail::rowsApart) gives it
    // (any keys besides), each router's rows copied from facility.
    static std::unique_ptr<StateText> ofState(const nlohmann::json& state, const Facility& facility);
    // Panel thread: one router as routerJson(facility, router, false) gives it.
    static std::unique_ptr<StateText> ofRouter(const nlohmann::json& router, const Facility& facility);

    ~StateText();
    StateText(const StateText&) = delete;
    StateText& operator=(const StateText&) = delete;

    // One thread at a time, any thread: the next piece of the text into
    // piece; false, with piece empty, once all of it was given.
    bool next(std::string& piece);

private:
    StateText();
    struct Part;
    void addRouter(const nlohmann::json& router, const Facility& facility);
    void addValue(const nlohmann::json& value);
    void addText(const std::string& text);

    std::vector<Part> parts_;
    std::vector<Router> rows_;                             // the routers' copies the rows are written from
    std::size_t part_ = 0;                                 // the part being written
    std::size_t at_ = 0;                                   // in it: the bytes, rows or source names written
    std::map<int32_t, std::string>::const_iterator name_;  // the next source name
};

}  // namespace zarn_host
