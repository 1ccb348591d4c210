#include "bridges/emberplus/ember_tree.h"

namespace zarn_host::bridges {
namespace {

using ember::Element;
using ember::ElementKind;

Element node(const char* identifier, std::string description = {}) {
    Element e;
    e.kind = ElementKind::node;
    e.identifier = identifier;
    if (!description.empty()) e.description = std::move(description);
    e.isOnline = true;
    return e;
}

Element readOnlyText(std::string identifier, std::string value) {
    Element e;
    e.kind = ElementKind::parameter;
    e.identifier = std::move(identifier);
    e.value = ember::Value::ofString(std::move(value));
    e.access = ember::Access::read;
    e.type = ember::ParameterType::string;
    return e;
}

const char* const kIdentity[][2] = {
    {"product", "zarn_host"},
    {"role", "simulated panel host: facility routers as matrices"},
};

}  // namespace

bool EmberTree::contents(const ember::Path& p, Element& e) const {
    if (p.empty()) return false;
    if (p[0] == kIdentityNode) {
        if (p.size() == 1) return e = node("identity", "What serves this tree"), true;
        if (p.size() == 2 && p[1] >= 1 && p[1] <= std::size(kIdentity)) {
            return e = readOnlyText(kIdentity[p[1] - 1][0], kIdentity[p[1] - 1][1]), true;
        }
        return false;
    }
    if (p[0] == kPanelNode && !panel.empty()) {
        if (p.size() == 1) return e = node("panel", "Panel values and controls"), true;
        const int k = panelAt(p);
        if (k < 0) return false;
        const ServedPanelItem& item = panel[static_cast<std::size_t>(k)];
        if (item.kind == ServedPanelItem::Kind::function) {
            e = Element{};
            e.kind = ElementKind::function;
            e.identifier = item.identifier;
            e.arguments = std::vector<ember::TupleItem>{};
            e.result = std::vector<ember::TupleItem>{};
            return true;
        }
        e = readOnlyText(item.identifier, item.value);
        if (item.kind == ServedPanelItem::Kind::writable) e.access = ember::Access::read_write;
        return true;
    }
    if (p[0] != kRoutersNode) return false;
    if (p.size() == 1) return e = node("routers", "The facility's routers"), true;
    if (p[1] < 1 || p[1] > routers.size()) return false;
    const std::size_t index = p[1] - 1;
    const ServedMatrix& m = routers[index];
    if (p.size() == 2) return e = node(m.name.c_str(), "device " + std::to_string(m.device)), true;
    if (p[2] == 1 && p.size() == 3) {
        e = Element{};
        e.kind = ElementKind::matrix;
        e.identifier = "matrix";
        e.description = m.name;
        e.matrixType = ember::MatrixType::one_to_n;
        e.addressingMode = ember::AddressingMode::linear;
        e.targetCount = static_cast<int32_t>(m.sources.size());
        e.sourceCount = m.sourceCount;
        e.labels.push_back({{kRoutersNode, p[1], 2}, "names"});
        return true;
    }
    if (p[2] != 2) return false;
    if (p.size() == 3) return e = node("labels"), true;
    if (p[3] != 1 && p[3] != 2) return false;
    const bool targets = p[3] == 1;
    if (p.size() == 4) return e = node(targets ? "targets" : "sources"), true;
    const std::vector<std::string>& names = targets ? m.targetNames : m.sourceNames;
    if (p.size() != 5 || p[4] >= names.size()) return false;
    e = readOnlyText((targets ? "t-" : "s-") + std::to_string(p[4]), names[p[4]]);
    return true;
}

std::vector<uint32_t> EmberTree::children(const ember::Path& p) const {
    std::vector<uint32_t> out;
    auto count = [&](std::size_t n, uint32_t first) {
        for (std::size_t i = 0; i < n; ++i) out.push_back(first + static_cast<uint32_t>(i));
    };
    if (p.empty()) {
        count(panel.empty() ? 2 : 3, 1);
    } else if (p == ember::Path{kPanelNode}) {
        count(panel.size(), 1);
    } else if (p == ember::Path{kIdentityNode}) {
        count(std::size(kIdentity), 1);
    } else if (p == ember::Path{kRoutersNode}) {
        count(routers.size(), 1);
    } else if (p.size() == 2) {
        count(2, 1);
    } else if (p.size() == 3 && p[2] == 2) {
        count(2, 1);
    } else if (p.size() == 4) {
        const ServedMatrix& m = routers[p[1] - 1];
        count(p[3] == 1 ? m.targetNames.size() : m.sourceNames.size(), 0);
    }
    return out;
}

ember::Connection EmberTree::connection(const ServedMatrix& m, int32_t target) const {
    ember::Connection c;
    c.target = target;
    const int32_t source = m.sources[static_cast<std::size_t>(target)];
    if (source > 0) c.sources = {static_cast<uint32_t>(source - 1)};
    return c;
}

bool EmberTree::directory(const ember::Path& path, ember::GlowMessage& out) const {
    out = ember::GlowMessage{};
    Element here;
    if (!path.empty() && !contents(path, here)) return false;
    if (path.empty() || here.kind == ElementKind::node) {
        for (uint32_t n : children(path)) {
            ember::Path childPath = path;
            childPath.push_back(n);
            Element child;
            if (!contents(childPath, child)) continue;
            if (path.empty()) {
                child.number = static_cast<int32_t>(n);
            } else {
                child.qualified = true;
                child.path = std::move(childPath);
            }
            out.elements.push_back(std::move(child));
        }
        return true;
    }
    here.qualified = true;
    here.path = path;
    const int index = matrixAt(path);
    if (index >= 0) {
        const ServedMatrix& m = routers[static_cast<std::size_t>(index)];
        here.connections.emplace();
        for (std::size_t t = 0; t < m.sources.size(); ++t) {
            here.connections->push_back(connection(m, static_cast<int32_t>(t)));
        }
    }
    out.elements.push_back(std::move(here));
    return true;
}

int EmberTree::matrixAt(const ember::Path& p) const {
    if (p.size() != 3 || p[0] != kRoutersNode || p[2] != 1 || p[1] < 1 || p[1] > routers.size()) return -1;
    return static_cast<int>(p[1] - 1);
}

ember::GlowMessage EmberTree::connections(std::size_t index, const std::vector<int32_t>& targets,
                                          ember::ConnectionDisposition disposition) const {
    Element e;
    e.kind = ElementKind::matrix;
    e.qualified = true;
    e.path = matrixPath(index);
    e.connections.emplace();
    const ServedMatrix& m = routers[index];
    for (int32_t t : targets) {
        if (t < 0 || static_cast<std::size_t>(t) >= m.sources.size()) continue;
        ember::Connection c = connection(m, t);
        c.disposition = disposition;
        e.connections->push_back(std::move(c));
    }
    ember::GlowMessage out;
    out.elements.push_back(std::move(e));
    return out;
}

int EmberTree::panelAt(const ember::Path& p) const {
    if (p.size() != 2 || p[0] != kPanelNode || p[1] < 1 || p[1] > panel.size()) return -1;
    return static_cast<int>(p[1] - 1);
}

ember::GlowMessage EmberTree::panelItem(std::size_t index) const {
    ember::GlowMessage out;
    directory({kPanelNode, static_cast<uint32_t>(index + 1)}, out);
    return out;
}

}  // namespace zarn_host::bridges
