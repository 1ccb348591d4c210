// encodeGlow: every tag explicit as Glow has it (a context tag around each
// field's universal value), application tags in place of SEQUENCE for
// Glow's own types, definite lengths.
#include <cmath>

#include "bridges/codecs/ember_ber.h"
#include "bridges/codecs/ember_glow.h"

namespace zarn_host::ember {
namespace {

void writeValue(BerWriter& w, const Value& v) {
    switch (v.kind) {
        case Value::Kind::integer:
            w.integer(v.integer);
            break;
        case Value::Kind::real:
            w.real(v.real);
            break;
        case Value::Kind::string:
            w.utf8(v.text);
            break;
        case Value::Kind::boolean:
            w.boolean(v.boolean);
            break;
        case Value::Kind::octets:
            w.octets(std::vector<uint8_t>(v.text.begin(), v.text.end()));
            break;
        case Value::Kind::null:
            w.null();
            break;
    }
}

void intField(BerWriter& w, uint32_t n, int64_t v) {
    w.field(n, [&](BerWriter& x) { x.integer(v); });
}
void textField(BerWriter& w, uint32_t n, const std::optional<std::string>& v) {
    if (v) w.field(n, [&](BerWriter& x) { x.utf8(*v); });
}
void boolField(BerWriter& w, uint32_t n, const std::optional<bool>& v) {
    if (v) w.field(n, [&](BerWriter& x) { x.boolean(*v); });
}
template <class E>
void enumField(BerWriter& w, uint32_t n, const std::optional<E>& v) {
    if (v) intField(w, n, static_cast<int64_t>(*v));
}
void valueField(BerWriter& w, uint32_t n, const std::optional<Value>& v) {
    if (v) w.field(n, [&](BerWriter& x) { writeValue(x, *v); });
}

// SEQUENCE OF [0] item, inside context tag n.
template <class T, class Write>
void listField(BerWriter& w, uint32_t n, const std::vector<T>& items, Write write) {
    w.beginContext(n);
    w.beginSequence();
    for (const T& item : items) {
        w.beginContext(0);
        write(w, item);
        w.end();
    }
    w.end();
    w.end();
}

void writeTuple(BerWriter& w, const std::vector<TupleItem>& items) {
    for (const TupleItem& t : items) {
        w.beginContext(0);
        w.beginApplication(kTupleItemDescription);
        intField(w, 0, static_cast<int64_t>(t.type));
        w.field(1, [&](BerWriter& x) { x.utf8(t.name); });
        w.end();
        w.end();
    }
}

void writeContents(BerWriter& w, const Element& e) {
    w.beginContext(1);
    w.beginSet();
    textField(w, 0, e.identifier);
    textField(w, 1, e.description);
    switch (e.kind) {
        case ElementKind::node:
            boolField(w, 2, e.isRoot);
            boolField(w, 3, e.isOnline);
            break;
        case ElementKind::parameter:
            valueField(w, 2, e.value);
            valueField(w, 3, e.minimum);
            valueField(w, 4, e.maximum);
            enumField(w, 5, e.access);
            textField(w, 7, e.enumeration);
            boolField(w, 9, e.isOnline);
            enumField(w, 13, e.type);
            break;
        case ElementKind::matrix:
            enumField(w, 2, e.matrixType);
            enumField(w, 3, e.addressingMode);
            if (e.targetCount) intField(w, 4, *e.targetCount);
            if (e.sourceCount) intField(w, 5, *e.sourceCount);
            if (!e.labels.empty()) {
                listField(w, 10, e.labels, [](BerWriter& x, const Label& l) {
                    x.beginApplication(kLabel);
                    x.field(0, [&](BerWriter& y) { y.relativeOid(l.basePath); });
                    x.field(1, [&](BerWriter& y) { y.utf8(l.description); });
                    x.end();
                });
            }
            break;
        case ElementKind::function:
            if (e.arguments) {
                w.beginContext(2);
                w.beginSequence();
                writeTuple(w, *e.arguments);
                w.end();
                w.end();
            }
            if (e.result) {
                w.beginContext(3);
                w.beginSequence();
                writeTuple(w, *e.result);
                w.end();
                w.end();
            }
            break;
        case ElementKind::command:
            break;
    }
    w.end();
    w.end();
}

void writeElement(BerWriter& w, const Element& e);

void writeSignals(BerWriter& w, uint32_t n, uint32_t tag, const std::vector<int32_t>& numbers) {
    listField(w, n, numbers, [tag](BerWriter& x, int32_t number) {
        x.beginApplication(tag);
        intField(x, 0, number);
        x.end();
    });
}

void writeCommand(BerWriter& w, const Element& e) {
    w.beginApplication(kCommand);
    intField(w, 0, static_cast<int64_t>(e.command));
    if (e.dirFieldMask) intField(w, 1, static_cast<int32_t>(*e.dirFieldMask));
    if (e.invocation) {
        w.beginContext(2);
        w.beginApplication(kInvocation);
        if (e.invocation->id) intField(w, 0, *e.invocation->id);
        listField(w, 1, e.invocation->arguments, [](BerWriter& x, const Value& v) { writeValue(x, v); });
        w.end();
        w.end();
    }
    w.end();
}

uint32_t tagOf(const Element& e) {
    switch (e.kind) {
        case ElementKind::node:
            return e.qualified ? kQualifiedNode : kNode;
        case ElementKind::parameter:
            return e.qualified ? kQualifiedParameter : kParameter;
        case ElementKind::matrix:
            return e.qualified ? kQualifiedMatrix : kMatrix;
        case ElementKind::function:
            return e.qualified ? kQualifiedFunction : kFunction;
        case ElementKind::command:
            return kCommand;
    }
    return kNode;
}

void writeElement(BerWriter& w, const Element& e) {
    if (e.kind == ElementKind::command) return writeCommand(w, e);
    w.beginApplication(tagOf(e));
    if (e.qualified) {
        w.field(0, [&](BerWriter& x) { x.relativeOid(e.path); });
    } else {
        intField(w, 0, e.number);
    }
    if (e.hasContents()) writeContents(w, e);
    if (e.children) {
        w.beginContext(2);
        w.beginApplication(kElementCollection);
        for (const Element& child : *e.children) {
            w.beginContext(0);
            writeElement(w, child);
            w.end();
        }
        w.end();
        w.end();
    }
    if (e.kind == ElementKind::matrix) {
        if (e.targets) writeSignals(w, 3, kTarget, *e.targets);
        if (e.sources) writeSignals(w, 4, kSource, *e.sources);
        if (e.connections) {
            listField(w, 5, *e.connections, [](BerWriter& x, const Connection& c) {
                x.beginApplication(kConnection);
                intField(x, 0, c.target);
                x.field(1, [&](BerWriter& y) { y.relativeOid(c.sources); });
                enumField(x, 2, c.operation);
                enumField(x, 3, c.disposition);
                x.end();
            });
        }
    }
    w.end();
}

}  // namespace

bool Value::operator==(const Value& o) const {
    if (kind != o.kind) return false;
    switch (kind) {
        case Kind::integer:
            return integer == o.integer;
        case Kind::real:
            return real == o.real || (std::isnan(real) && std::isnan(o.real));
        case Kind::boolean:
            return boolean == o.boolean;
        case Kind::string:
        case Kind::octets:
            return text == o.text;
        case Kind::null:
            return true;
    }
    return false;
}

bool Element::hasContents() const {
    return identifier || description || isRoot || isOnline || value || minimum || maximum || access || type ||
           enumeration || matrixType || addressingMode || targetCount || sourceCount || !labels.empty() || arguments ||
           result;
}

std::vector<uint8_t> encodeGlow(const GlowMessage& message) {
    BerWriter w;
    w.beginApplication(kRoot);
    if (message.invocationResult) {
        const InvocationResult& r = *message.invocationResult;
        w.beginApplication(kInvocationResult);
        intField(w, 0, r.id);
        w.field(1, [&](BerWriter& x) { x.boolean(r.success); });
        listField(w, 2, r.result, [](BerWriter& x, const Value& v) { writeValue(x, v); });
        w.end();
    } else {
        w.beginApplication(kRootElementCollection);
        for (const Element& e : message.elements) {
            w.beginContext(0);
            writeElement(w, e);
            w.end();
        }
        w.end();
    }
    w.end();
    return w.take();
}

}  // namespace zarn_host::ember
