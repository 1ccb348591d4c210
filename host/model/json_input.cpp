#include "model/json_input.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/command_text.h"

namespace zarn_host {

bool readTextFile(const std::string& path, std::string& text, std::string& error) {
    // Paths are UTF-8 on every platform; u8path gives Windows the wide name.
    const std::filesystem::path file = std::filesystem::u8path(path);
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) {
        error = path + ": is a folder, not a file";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = path + ": cannot open file";
        return false;
    }
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) {
        error = path + ": cannot read file";
        return false;
    }
    if (static_cast<unsigned long long>(size) > maxInputFileBytes) {
        error = path + ": file too big (" + std::to_string(size) + " bytes)";
        return false;
    }
    in.seekg(0, std::ios::beg);
    text.assign(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(&text[0], size)) {
        error = path + ": cannot read file";
        return false;
    }
    return true;
}

bool parseJson(const std::string& text, const std::string& fileName, nlohmann::ordered_json& out, std::string& error) {
    try {
        out = nlohmann::ordered_json::parse(text);
        return true;
    } catch (const nlohmann::ordered_json::parse_error& e) {
        // e.byte is 1-based and points just past the offending character.
        std::size_t end = e.byte == 0 ? 0 : std::min<std::size_t>(e.byte - 1, text.size());
        std::size_t line = 1, column = 1;
        for (std::size_t i = 0; i < end; ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        std::string what = e.what();
        // nlohmann prefixes its own position text; keep the reason only.
        std::size_t colon = what.rfind(": ");
        if (colon != std::string::npos) what = what.substr(colon + 2);
        // The reason quotes the token read so far, which can be the rest of the
        // file (found by facility_fuzzer): cut it.
        what = printable(what, 200);
        error = fileName + ":" + std::to_string(line) + ":" + std::to_string(column) + ": malformed JSON: " + what;
        return false;
    } catch (const nlohmann::ordered_json::out_of_range&) {
        // A number too large for a double (found by facility_fuzzer).
        error = fileName + ": malformed JSON: a number is out of range";
        return false;
    }
}

bool readJsonDocument(const std::string& text, const std::string& fileName,
                      const std::function<void(nlohmann::ordered_json& root)>& read, std::string& error) {
    nlohmann::ordered_json root;
    if (!parseJson(text, fileName, root, error)) return false;
    try {
        read(root);
        return true;
    } catch (const JsonContentError& e) {
        error = fileName + ": " + e.what();
    } catch (const nlohmann::ordered_json::exception& e) {
        error = fileName + ": " + e.what();
    }
    return false;
}

const nlohmann::ordered_json& requireObject(const nlohmann::ordered_json& j, const std::string& path) {
    if (!j.is_object()) throw JsonContentError(path, "expected an object");
    return j;
}

const nlohmann::ordered_json& requireArray(const nlohmann::ordered_json& j, const std::string& path) {
    if (!j.is_array()) throw JsonContentError(path, "expected an array");
    return j;
}

int32_t requireInt(const nlohmann::ordered_json& j, const std::string& path) {
    if (j.is_number_integer()) {
        auto v = j.get<int64_t>();
        if (j.is_number_unsigned() && j.get<uint64_t>() > static_cast<uint64_t>(INT32_MAX)) {
            throw JsonContentError(path, "integer out of range");
        }
        if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<int32_t>(v);
        throw JsonContentError(path, "integer out of range");
    }
    throw JsonContentError(path, "expected an integer");
}

std::string requireText(const nlohmann::ordered_json& j, const std::string& path) {
    if (j.is_string()) return j.get<std::string>();
    if (j.is_number_integer()) return std::to_string(requireInt(j, path));
    throw JsonContentError(path, "expected a text");
}

int32_t keyAsInt(const std::string& key, const std::string& path) {
    int32_t v = 0;
    if (!parseInt32(key, v)) throw JsonContentError(path, "key \"" + printable(key, 40) + "\" is not an integer");
    return v;
}

}  // namespace zarn_host
