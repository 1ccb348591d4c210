// The reader decodeGlow walks a message with, a BER level at a time: the
// field helpers here, the elements in ember_glow_decode.cpp. Not for other
// users.
#pragma once

#include <limits>
#include <optional>
#include <string>

#include "bridges/codecs/ember_ber.h"
#include "bridges/codecs/ember_glow.h"

namespace zarn_host::ember::glow_reader {

class Reader {
public:
    explicit Reader(GlowDecoded& out) : out_(out) {}

    bool failed() const { return !out_.error.empty(); }
    bool fail(const std::string& why) {
        if (out_.error.empty()) out_.error = why;
        return false;
    }
    void note(const std::string& what) {
        if (out_.notes.size() < 32) out_.notes.push_back(what);
    }
    // Checks a reader that finished its loop.
    bool done(const BerReader& r) { return r.failed() ? fail(r.error()) : !failed(); }

    // The one value inside a context-tagged field.
    bool inner(const BerReader& parent, const BerValue& field, BerValue& out) {
        if (!field.constructed) return fail("field [" + std::to_string(field.number) + "] not constructed");
        BerReader r = parent.inside(field);
        if (!r.next(out)) return fail(r.failed() ? r.error() : "field [" + std::to_string(field.number) + "] empty");
        return true;
    }
    bool int64(const BerReader& p, const BerValue& f, int64_t& out) {
        BerValue v;
        if (!inner(p, f, v)) return false;
        if (!(v.is(kClassUniversal, kTagInteger) || v.is(kClassUniversal, kTagEnumerated))) {
            return fail("field [" + std::to_string(f.number) + "] not an integer");
        }
        std::string why;
        return readInteger(v, out, why) || fail(why);
    }
    bool int32(const BerReader& p, const BerValue& f, int32_t& out) {
        int64_t v = 0;
        if (!int64(p, f, v)) return false;
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
            return fail("number " + std::to_string(v) + " too large for field [" + std::to_string(f.number) + "]");
        }
        out = static_cast<int32_t>(v);
        return true;
    }
    template <class T>
    bool optInt(const BerReader& p, const BerValue& f, std::optional<T>& out) {
        int32_t v = 0;
        if (!int32(p, f, v)) return false;
        out = static_cast<T>(v);
        return true;
    }
    bool text(const BerReader& p, const BerValue& f, std::optional<std::string>& out) {
        BerValue v;
        if (!inner(p, f, v)) return false;
        if (!v.is(kClassUniversal, kTagUtf8String) || v.constructed) return fail("a text field not a UTF8String");
        out = readText(v);
        return true;
    }
    bool boolean(const BerReader& p, const BerValue& f, std::optional<bool>& out) {
        BerValue v;
        bool b = false;
        std::string why;
        if (!inner(p, f, v)) return false;
        if (!v.is(kClassUniversal, kTagBoolean) || !readBoolean(v, b, why)) return fail("a boolean field not one");
        out = b;
        return true;
    }
    bool path(const BerReader& p, const BerValue& f, Path& out) {
        BerValue v;
        std::string why;
        if (!inner(p, f, v)) return false;
        if (!v.is(kClassUniversal, kTagRelativeOid)) return fail("a path field not a RELATIVE-OID");
        return readRelativeOid(v, out, why) || fail(why);
    }
    bool value(const BerValue& v, Value& out) {
        std::string why;
        if (v.tagClass != kClassUniversal || v.constructed) return fail("a value of an unknown type");
        switch (v.number) {
            case kTagInteger:
            case kTagEnumerated:
                out.kind = Value::Kind::integer;
                return readInteger(v, out.integer, why) || fail(why);
            case kTagReal:
                out.kind = Value::Kind::real;
                return readReal(v, out.real, why) || fail(why);
            case kTagUtf8String:
                out.kind = Value::Kind::string;
                out.text = readText(v);
                return true;
            case kTagOctetString:
                out.kind = Value::Kind::octets;
                out.text = readText(v);
                return true;
            case kTagBoolean:
                out.kind = Value::Kind::boolean;
                return readBoolean(v, out.boolean, why) || fail(why);
            case kTagNull:
                out.kind = Value::Kind::null;
                return true;
            default:
                return fail("a value of universal type " + std::to_string(v.number));
        }
    }
    bool value(const BerReader& p, const BerValue& f, std::optional<Value>& out) {
        BerValue v;
        Value x;
        if (!inner(p, f, v) || !value(v, x)) return false;
        out = std::move(x);
        return true;
    }
    // SEQUENCE OF [0] item inside field f; each item read by `read`.
    template <class Read>
    bool list(const BerReader& p, const BerValue& f, Read read) {
        BerValue seq;
        if (!inner(p, f, seq)) return false;
        if (!seq.is(kClassUniversal, kTagSequence)) return fail("a list not a SEQUENCE");
        BerReader r = p.inside(f).inside(seq);
        BerValue item;
        while (r.next(item)) {
            BerValue x;
            if (!item.is(kClassContext, 0)) {
                note("list item [" + std::to_string(item.number) + "] skipped");
                continue;
            }
            if (!inner(r, item, x)) return false;
            if (!read(r.inside(item), x)) return false;
        }
        return done(r);
    }
    bool values(const BerReader& p, const BerValue& f, std::vector<Value>& out) {
        return list(p, f, [&](const BerReader&, const BerValue& v) {
            Value x;
            if (!value(v, x)) return false;
            out.push_back(std::move(x));
            return true;
        });
    }

    bool tuple(const BerReader& p, const BerValue& f, std::optional<std::vector<TupleItem>>& out);
    bool contents(const BerReader& p, const BerValue& f, Element& e);
    bool signals(const BerReader& p, const BerValue& f, uint32_t tag, std::optional<std::vector<int32_t>>& out);
    bool connections(const BerReader& p, const BerValue& f, Element& e);
    bool command(const BerReader& r, Element& e);
    bool invocation(const BerReader& p, const BerValue& f, Invocation& out);
    bool invocationResult(const BerReader& r, InvocationResult& out);
    // An element of a collection; false with no error when skipped.
    bool element(const BerReader& parent, const BerValue& v, int depth, Element& e);
    bool collection(const BerReader& r, int depth, std::vector<Element>& out);

private:
    GlowDecoded& out_;
};

}  // namespace zarn_host::ember::glow_reader
