// The string library on any text: number reading against a model, split and
// list round-trips, and placeholder filling one at a time against all at once.
#include <zarn/zarn_string.h>
#include <zarn/zarn_stringlist.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Decimal digits [first, last) as a value, or false above limit.
bool digitsValue(const std::string& text, std::size_t first, std::size_t last, long long limit, long long& value) {
    value = 0;
    for (std::size_t i = first; i < last; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) return false;
    }
    return true;
}

// Blanks, a sign, digits, blanks and nothing else; outside int32 is 0.
int modelToInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    const std::size_t first = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    const std::size_t last = i;
    while (i < text.size() && isBlank(text[i])) ++i;
    long long value = 0;
    if (first == last || i != text.size()) return 0;
    if (!digitsValue(text, first, last, negative ? -static_cast<long long>(INT_MIN) : INT_MAX, value)) return 0;
    return static_cast<int>(negative ? -value : value);
}

int modelFirstInt(const std::string& text) {
    std::size_t first = 0;
    while (first < text.size() && !isDigit(text[first])) ++first;
    std::size_t last = first;
    while (last < text.size() && isDigit(text[last])) ++last;
    long long value = 0;
    if (first == last || !digitsValue(text, first, last, INT_MAX, value)) return 0;
    return static_cast<int>(value);
}

void checkNumbers(const std::string& text, FuzzInput& in) {
    const zarn_string s(text.c_str());
    FUZZ_CHECK(s.toInt() == modelToInt(text));
    FUZZ_CHECK(s.firstInt() == modelFirstInt(text));

    const int32_t value = in.number();
    const zarn_string decimal(value, 0, 0, 10);
    FUZZ_CHECK(decimal.toInt() == value);
    FUZZ_CHECK(decimal == value);
    FUZZ_CHECK(decimal == std::to_string(value).c_str());
    const unsigned width = in.byte() * 8u;
    const zarn_string padded(value, static_cast<char>(in.byte()), width, static_cast<int>(in.byte() % 40));
    // Padding reaches the width (at most 1024); base 2 with a sign needs 33.
    const int padTo = static_cast<int>(width > 1024 ? 1024 : width);
    FUZZ_CHECK(padded.length() >= padTo && padded.length() <= (padTo > 33 ? padTo : 33));
}

void checkSplitAndList(const std::string& text, char separator) {
    const zarn_string s(text.c_str());
    zarn_string left("stale");
    zarn_string right("stale");
    const int found = s.split(separator, left, right);
    const std::size_t at = text.find(separator);
    FUZZ_CHECK(found == static_cast<int>(std::count(text.begin(), text.end(), separator)));
    if (at == std::string::npos) {
        FUZZ_CHECK(left == s && right.isEmpty());
    } else {
        FUZZ_CHECK(std::string(left) + separator + std::string(right) == text);
        FUZZ_CHECK(std::string(left).find(separator) == std::string::npos);
    }
    // Splitting into itself gives the same parts.
    zarn_string self(s);
    zarn_string other;
    self.split(separator, self, other);
    FUZZ_CHECK(self == left && other == right);

    zarn_stringlist list(s, separator);
    FUZZ_CHECK(list.count() == (text.empty() ? 0 : found + 1));
    FUZZ_CHECK(list.toString(separator) == s);
    int visited = 0;
    for (zarn_stringlistIterator it = list.begin(); it != list.end(); ++it) {
        FUZZ_CHECK(*it == list.at(visited));
        ++visited;
    }
    FUZZ_CHECK(visited == list.count() && list.at(visited).isEmpty() && list.at(-1).isEmpty());
    zarn_stringlist copy(list);
    copy << s;
    FUZZ_CHECK(copy.count() == list.count() + 1);
}

// The lowest placeholder ("%1" to "%99") replaced at every occurrence,
// written plainly.
std::string modelArg(const std::string& text, const std::string& value) {
    int lowest = 100;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%' || text[i + 1] < '1' || text[i + 1] > '9') continue;
        int number = text[i + 1] - '0';
        if (i + 2 < text.size() && isDigit(text[i + 2])) number = number * 10 + (text[i + 2] - '0');
        lowest = std::min(lowest, number);
    }
    if (lowest == 100) return text;
    const std::string placeholder = "%" + std::to_string(lowest);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const bool here = text.compare(i, placeholder.size(), placeholder) == 0 &&
                          !(lowest < 10 && i + 2 < text.size() && isDigit(text[i + 2]));
        out += here ? value : text.substr(i, 1);
        i += here ? placeholder.size() : 1;
    }
    return out;
}

void checkPlaceholders(const std::string& format, FuzzInput& in) {
    const zarn_string f(format.c_str());
    // Filling one at a time must equal filling all at once, as long as no
    // filled placeholder can leave a new one for the next call: "%%99" filled
    // with "1x" leaves "%1x". So: values without "%" and digits, and the
    // comparison only for formats without "%%".
    std::vector<std::string> values;
    for (int i = 0; i < 9; ++i) {
        std::string value = cText(in.text(32));
        value.erase(std::remove_if(value.begin(), value.end(), [](char c) { return c == '%' || isDigit(c); }),
                    value.end());
        values.push_back(value);
    }
    zarn_string chained(f);
    for (const std::string& value : values) chained = chained.arg(zarn_string(value.c_str()));
    const zarn_string all =
        f.args({values[0].c_str(), values[1].c_str(), values[2].c_str(), values[3].c_str(), values[4].c_str(),
                values[5].c_str(), values[6].c_str(), values[7].c_str(), values[8].c_str()});
    if (format.find("%%") == std::string::npos) FUZZ_CHECK(chained == all);

    // Values with "%" go in unscanned by args; arg with nothing left is identity.
    const std::string raw = cText(in.text(32));
    // One step against the model, on a copy and in place on a temporary.
    const std::string filled = modelArg(format, raw);
    FUZZ_CHECK(f.arg(zarn_string(raw.c_str())) == filled.c_str());
    FUZZ_CHECK(zarn_string(f).arg(zarn_string(raw.c_str())) == filled.c_str());
    (void)f.args({raw.c_str(), nullptr, raw.c_str()});
    (void)f.arg(zarn_string(raw.c_str())).arg(in.number());
    if (format.find('%') == std::string::npos) {
        FUZZ_CHECK(f.arg(zarn_string(raw.c_str())) == f && f.args({raw.c_str()}) == f);
    }
    FUZZ_CHECK(f.args({}) == f);

    const zarn_string joined = f + raw.c_str();
    FUZZ_CHECK(joined.length() == f.length() + static_cast<int>(raw.size()) && joined.startsWith(f));
    FUZZ_CHECK((raw.c_str() + f) == (zarn_string(raw.c_str()) + f));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const uint8_t mode = in.byte();
    const std::string bytes = in.text(4096);
    const std::string text = cText(bytes);
    // Building from bytes and a length stops at a NUL like a C text does.
    FUZZ_CHECK(zarn_string(bytes.data(), bytes.size()) == text.c_str());
    FUZZ_CHECK(zarn_string(nullptr).isEmpty() && zarn_string(nullptr, 4).isEmpty());

    switch (mode % 3) {
        case 0:
            checkNumbers(text, in);
            break;
        case 1:
            checkSplitAndList(text, mode & 0x80 ? '=' : ',');
            break;
        default:
            checkPlaceholders(text, in);
            break;
    }
    return 0;
}
