// The Ember+ tree a listen address serves, the routers on it as matrices:
//
//   1            identity          what serves the tree (product, role)
//   2            routers
//   2.r          <instance name>   the r-th router on the address (from 1)
//   2.r.1        matrix            one-to-N, linear: target t is facility
//                                  destination t+1, source s facility source s+1
//   2.r.2        labels            the matrix's labels (its basePath)
//   2.r.2.1.t    t-<t>             target t's name (read-only string)
//   2.r.2.2.s    s-<s>             source s's name
//   3            panel             the panel values and controls the
//   3.k          <identifier>      facility file names (when it names any):
//                                  a value a read-only string, a button a
//                                  function, a list a writable string
//
// No sockets: the provider answers each GetDirectory with directory() and
// each change with connections(). The I/O thread owns it once it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bridges/codecs/ember_glow.h"

namespace zarn_host::bridges {

struct ServedMatrix {
    int32_t device = 0;
    std::string name;              // the device instance
    std::vector<int32_t> sources;  // by target: facility source, 0 for none
    int32_t sourceCount = 0;
    std::vector<std::string> targetNames, sourceNames;  // a name, or the facility number as text
};

inline constexpr uint32_t kIdentityNode = 1;
inline constexpr uint32_t kRoutersNode = 2;
inline constexpr uint32_t kPanelNode = 3;

struct ServedPanelItem {
    enum class Kind : uint8_t { value, function, writable };
    Kind kind = Kind::value;
    std::string identifier;
    std::string value;  // value, writable
};

class EmberTree {
public:
    std::vector<ServedMatrix> routers;
    std::vector<ServedPanelItem> panel;  // 3.1, 3.2, ...

    // What a GetDirectory of path answers, whichever form it came in: a
    // node's children, each qualified with its contents (the top level's
    // elements for the root); any other element itself, qualified with its
    // contents (a matrix with every connection). Consumers that walk a tree
    // take the answer's elements as what lies below what they asked: a node
    // answered as itself would be asked again, and again. False when no
    // element is there.
    bool directory(const ember::Path& path, ember::GlowMessage& out) const;
    // The index of the router whose matrix is at path, or -1.
    int matrixAt(const ember::Path& path) const;
    static ember::Path matrixPath(std::size_t index) { return {kRoutersNode, static_cast<uint32_t>(index + 1), 1}; }
    // The matrix at index, qualified, carrying these targets' connections.
    ember::GlowMessage connections(std::size_t index, const std::vector<int32_t>& targets,
                                   ember::ConnectionDisposition disposition) const;
    // The panel item at path (3.k), or -1.
    int panelAt(const ember::Path& path) const;
    // Panel item index as a qualified element with its contents.
    ember::GlowMessage panelItem(std::size_t index) const;

private:
    bool contents(const ember::Path& path, ember::Element& e) const;
    std::vector<uint32_t> children(const ember::Path& path) const;
    ember::Connection connection(const ServedMatrix& m, int32_t target) const;
};

}  // namespace zarn_host::bridges
