// decodeGlow: bad BER (a length past the data, nesting too deep, a number
// too large for its field) refuses the whole message; an element or field
// of a kind this side does not use is skipped with a note, so a peer's
// richer tree still reads.
#include "bridges/codecs/ember_ber.h"
#include "bridges/codecs/ember_glow.h"
#include "bridges/codecs/ember_glow_reader.h"

namespace zarn_host::ember::glow_reader {

bool Reader::tuple(const BerReader& p, const BerValue& f, std::optional<std::vector<TupleItem>>& out) {
    out.emplace();
    return list(p, f, [&](const BerReader& at, const BerValue& v) {
        if (!v.is(kClassApplication, kTupleItemDescription)) return fail("a tuple item of another type");
        BerReader r = at.inside(v);
        BerValue field;
        TupleItem item;
        while (r.next(field)) {
            std::optional<std::string> name;
            if (field.is(kClassContext, 0)) {
                int32_t t = 0;
                if (!int32(r, field, t)) return false;
                item.type = static_cast<ParameterType>(t);
            } else if (field.is(kClassContext, 1)) {
                if (!text(r, field, name)) return false;
                item.name = *name;
            }
        }
        out->push_back(std::move(item));
        return done(r);
    });
}

bool Reader::contents(const BerReader& p, const BerValue& f, Element& e) {
    BerValue set;
    if (!inner(p, f, set)) return false;
    if (!set.is(kClassUniversal, kTagSet)) return fail("contents not a SET");
    BerReader r = p.inside(f).inside(set);
    BerValue v;
    while (r.next(v)) {
        const uint32_t n = v.tagClass == kClassContext ? v.number : 1000;
        bool known = true;
        if (n == 0) {
            if (!text(r, v, e.identifier)) return false;
        } else if (n == 1) {
            if (!text(r, v, e.description)) return false;
        } else if (e.kind == ElementKind::node) {
            if (n == 2 && !boolean(r, v, e.isRoot)) return false;
            if (n == 3 && !boolean(r, v, e.isOnline)) return false;
            known = n == 2 || n == 3;
        } else if (e.kind == ElementKind::parameter) {
            if (n == 2 && !value(r, v, e.value)) return false;
            if (n == 3 && !value(r, v, e.minimum)) return false;
            if (n == 4 && !value(r, v, e.maximum)) return false;
            if (n == 5 && !optInt(r, v, e.access)) return false;
            if (n == 7 && !text(r, v, e.enumeration)) return false;
            if (n == 9 && !boolean(r, v, e.isOnline)) return false;
            if (n == 13 && !optInt(r, v, e.type)) return false;
            known = (n >= 2 && n <= 5) || n == 7 || n == 9 || n == 13;
        } else if (e.kind == ElementKind::matrix) {
            if (n == 2 && !optInt(r, v, e.matrixType)) return false;
            if (n == 3 && !optInt(r, v, e.addressingMode)) return false;
            if (n == 4 && !optInt(r, v, e.targetCount)) return false;
            if (n == 5 && !optInt(r, v, e.sourceCount)) return false;
            if (n == 10) {
                const bool ok = list(r, v, [&](const BerReader& at, const BerValue& l) {
                    if (!l.is(kClassApplication, kLabel)) return fail("a label of another type");
                    BerReader lr = at.inside(l);
                    BerValue lf;
                    Label label;
                    while (lr.next(lf)) {
                        std::optional<std::string> d;
                        if (lf.is(kClassContext, 0) && !path(lr, lf, label.basePath)) return false;
                        if (lf.is(kClassContext, 1)) {
                            if (!text(lr, lf, d)) return false;
                            label.description = *d;
                        }
                    }
                    e.labels.push_back(std::move(label));
                    return done(lr);
                });
                if (!ok) return false;
            }
            known = (n >= 2 && n <= 5) || n == 10;
        } else if (e.kind == ElementKind::function) {
            if (n == 2 && !tuple(r, v, e.arguments)) return false;
            if (n == 3 && !tuple(r, v, e.result)) return false;
            known = n == 2 || n == 3;
        }
        if (!known) note("contents field [" + std::to_string(v.number) + "] skipped");
    }
    return done(r);
}

bool Reader::signals(const BerReader& p, const BerValue& f, uint32_t tag, std::optional<std::vector<int32_t>>& out) {
    out.emplace();
    return list(p, f, [&](const BerReader& at, const BerValue& v) {
        if (!v.is(kClassApplication, tag)) return fail("a signal of another type");
        BerReader r = at.inside(v);
        BerValue field;
        while (r.next(field)) {
            int32_t number = 0;
            if (!field.is(kClassContext, 0)) continue;
            if (!int32(r, field, number)) return false;
            out->push_back(number);
        }
        return done(r);
    });
}

bool Reader::connections(const BerReader& p, const BerValue& f, Element& e) {
    e.connections.emplace();
    return list(p, f, [&](const BerReader& at, const BerValue& v) {
        if (!v.is(kClassApplication, kConnection)) return fail("a connection of another type");
        BerReader r = at.inside(v);
        BerValue field;
        Connection c;
        while (r.next(field)) {
            if (field.tagClass != kClassContext) continue;
            if (field.number == 0 && !int32(r, field, c.target)) return false;
            if (field.number == 1 && !path(r, field, c.sources)) return false;
            if (field.number == 2 && !optInt(r, field, c.operation)) return false;
            if (field.number == 3 && !optInt(r, field, c.disposition)) return false;
        }
        e.connections->push_back(std::move(c));
        return done(r);
    });
}

bool Reader::invocation(const BerReader& p, const BerValue& f, Invocation& out) {
    BerValue inv;
    if (!inner(p, f, inv)) return false;
    if (!inv.is(kClassApplication, kInvocation)) return fail("an invocation of another type");
    BerReader r = p.inside(f).inside(inv);
    BerValue field;
    while (r.next(field)) {
        if (field.is(kClassContext, 0)) {
            int32_t id = 0;
            if (!int32(r, field, id)) return false;
            out.id = id;
        } else if (field.is(kClassContext, 1) && !values(r, field, out.arguments)) {
            return false;
        }
    }
    return done(r);
}

bool Reader::command(const BerReader& r0, Element& e) {
    BerReader r = r0;
    BerValue field;
    e.kind = ElementKind::command;
    while (r.next(field)) {
        if (field.is(kClassContext, 0)) {
            int32_t c = 0;
            if (!int32(r, field, c)) return false;
            e.command = static_cast<CommandType>(c);
        } else if (field.is(kClassContext, 1)) {
            int32_t mask = 0;
            if (!int32(r, field, mask)) return false;
            e.dirFieldMask = static_cast<uint32_t>(mask);
        } else if (field.is(kClassContext, 2)) {
            e.invocation.emplace();
            if (!invocation(r, field, *e.invocation)) return false;
        }
    }
    return done(r);
}

bool Reader::invocationResult(const BerReader& r0, InvocationResult& out) {
    BerReader r = r0;
    BerValue field;
    while (r.next(field)) {
        std::optional<bool> success;
        if (field.is(kClassContext, 0) && !int32(r, field, out.id)) return false;
        if (field.is(kClassContext, 1)) {
            if (!boolean(r, field, success)) return false;
            out.success = *success;
        }
        if (field.is(kClassContext, 2) && !values(r, field, out.result)) return false;
    }
    return done(r);
}

bool Reader::element(const BerReader& parent, const BerValue& v, int depth, Element& e) {
    if (depth > kMaxElementDepth) return fail("elements nested too deep");
    if (v.tagClass != kClassApplication || !v.constructed) {
        note("element of tag " + std::to_string(v.number) + " skipped");
        return false;
    }
    const uint32_t t = v.number;
    e.qualified = t == kQualifiedNode || t == kQualifiedParameter || t == kQualifiedMatrix || t == kQualifiedFunction;
    if (t == kNode || t == kQualifiedNode) {
        e.kind = ElementKind::node;
    } else if (t == kParameter || t == kQualifiedParameter) {
        e.kind = ElementKind::parameter;
    } else if (t == kMatrix || t == kQualifiedMatrix) {
        e.kind = ElementKind::matrix;
    } else if (t == kFunction || t == kQualifiedFunction) {
        e.kind = ElementKind::function;
    } else if (t == kCommand) {
        return command(parent.inside(v), e);
    } else {
        note("element APPLICATION " + std::to_string(t) + " skipped");
        return false;
    }
    BerReader r = parent.inside(v);
    BerValue field;
    while (r.next(field)) {
        const uint32_t n = field.tagClass == kClassContext ? field.number : 1000;
        if (n == 0) {
            if (e.qualified ? !path(r, field, e.path) : !int32(r, field, e.number)) return false;
        } else if (n == 1) {
            if (!contents(r, field, e)) return false;
        } else if (n == 2) {
            BerValue coll;
            if (!inner(r, field, coll)) return false;
            if (!coll.is(kClassApplication, kElementCollection)) return fail("children not an element collection");
            e.children.emplace();
            if (!collection(r.inside(field).inside(coll), depth + 1, *e.children)) return false;
        } else if (e.kind == ElementKind::matrix && n == 3) {
            if (!signals(r, field, kTarget, e.targets)) return false;
        } else if (e.kind == ElementKind::matrix && n == 4) {
            if (!signals(r, field, kSource, e.sources)) return false;
        } else if (e.kind == ElementKind::matrix && n == 5) {
            if (!connections(r, field, e)) return false;
        } else {
            note("element field [" + std::to_string(field.number) + "] skipped");
        }
    }
    return done(r);
}

bool Reader::collection(const BerReader& r0, int depth, std::vector<Element>& out) {
    BerReader r = r0;
    BerValue item;
    while (r.next(item)) {
        BerValue v;
        if (!item.is(kClassContext, 0)) {
            note("collection item [" + std::to_string(item.number) + "] skipped");
            continue;
        }
        if (!inner(r, item, v)) return false;
        Element e;
        if (element(r.inside(item), v, depth, e)) out.push_back(std::move(e));
        if (failed()) return false;
    }
    return done(r);
}

}  // namespace zarn_host::ember::glow_reader

namespace zarn_host::ember {

GlowDecoded decodeGlow(const uint8_t* data, std::size_t size) {
    GlowDecoded out;
    glow_reader::Reader reader(out);
    BerReader top(data, size);
    BerValue root;
    if (!top.next(root)) {
        out.error = top.failed() ? top.error() : "an empty message";
        return out;
    }
    if (!root.is(kClassApplication, kRoot) || !root.constructed) {
        out.error = "not a Glow root";
        return out;
    }
    BerReader r = top.inside(root);
    BerValue v;
    while (r.next(v)) {
        if (v.is(kClassApplication, kRootElementCollection) && v.constructed) {
            if (!reader.collection(r.inside(v), 0, out.message.elements)) break;
        } else if (v.is(kClassApplication, kInvocationResult) && v.constructed) {
            out.message.invocationResult.emplace();
            if (!reader.invocationResult(r.inside(v), *out.message.invocationResult)) break;
        } else {
            reader.note("root APPLICATION " + std::to_string(v.number) + " skipped");
        }
    }
    if (out.error.empty() && r.failed()) out.error = r.error();
    if (!out.error.empty()) out.message = GlowMessage{};
    return out;
}

}  // namespace zarn_host::ember
