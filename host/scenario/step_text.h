// How the scenario runner's messages show what a step named and what it met:
// shared by the files of the runner's steps.
#pragma once

#include <cstdint>
#include <string>

#include "model/facility.h"
#include "scenario/scenario_parser.h"

namespace zarn_host {
namespace step_text {

// A source as a person reads it: its name, its number, or "no source".
inline std::string shownSource(const Router& router, int32_t source) {
    return source == 0 ? "no source" : router.sourceText(source);
}

// A bare null stands for no text; a quoted one is the word.
inline bool isNull(const ScenarioToken& token) {
    return !token.quoted && token.text == "null";
}

}  // namespace step_text
}  // namespace zarn_host
