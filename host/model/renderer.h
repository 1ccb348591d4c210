// A text picture of a panel for operators and traces: the rows of the panel
// file's layout with aligned columns, lists as blocks with the selection
// marked, then every control the layout leaves out.
#pragma once

#include <string>

#include "model/panel_model.h"

namespace zarn_host {

std::string renderPanel(const Panel& panel);

}  // namespace zarn_host
