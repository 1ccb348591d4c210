// Reading the host's JSON input files with diagnostics that name the file and
// the line of a syntax error, or the JSON path of a content error.
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace zarn_host {

// Largest input file the host reads; bigger ones are refused, not truncated.
constexpr std::size_t maxInputFileBytes = 16 * 1024 * 1024;

// A content error at a JSON path such as /routers/0/sources.
struct JsonContentError : std::runtime_error {
    JsonContentError(const std::string& path, const std::string& what) : std::runtime_error(path + ": " + what) {}
};

// Reads a whole file; false with a reason when it is missing, unreadable or too big.
bool readTextFile(const std::string& path, std::string& text, std::string& error);

// Parses text; on a syntax error returns false with "file:line:column: reason".
bool parseJson(const std::string& text, const std::string& fileName, nlohmann::ordered_json& out, std::string& error);

// Parses text and hands its root to read, which throws JsonContentError (or
// a JSON type error) on content it refuses. False with one line in error:
// "file:line:column: ..." for syntax, "file: /path: reason" for content.
bool readJsonDocument(const std::string& text, const std::string& fileName,
                      const std::function<void(nlohmann::ordered_json& root)>& read, std::string& error);

const nlohmann::ordered_json& requireObject(const nlohmann::ordered_json& j, const std::string& path);
const nlohmann::ordered_json& requireArray(const nlohmann::ordered_json& j, const std::string& path);
int32_t requireInt(const nlohmann::ordered_json& j, const std::string& path);
// Strings, and numbers written as their decimal text.
std::string requireText(const nlohmann::ordered_json& j, const std::string& path);
// An object key that must be a decimal 32-bit integer.
int32_t keyAsInt(const std::string& key, const std::string& path);

}  // namespace zarn_host
