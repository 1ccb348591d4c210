#include "web/http/login_crypto.h"

#include <cstdint>
#include <random>
#include <vector>

#ifdef ZARN_HOST_OPENSSL
#include <openssl/evp.h>
#include <openssl/rand.h>
#endif

namespace zarn_host {
namespace {

constexpr int passwordIterations = 200000;
constexpr int maxPasswordIterations = 10000000;
constexpr std::size_t saltBytes = 16;
constexpr std::size_t hashBytes = 32;
const char* const hashScheme = "pbkdf2-sha256";

std::string hex(const unsigned char* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool unhex(const std::string& text, std::vector<unsigned char>& out) {
    if (text.empty() || text.size() % 2 != 0) return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return true;
}

struct StoredHash {
    int iterations = 0;
    std::vector<unsigned char> salt, hash;
};

bool parseStored(const std::string& stored, StoredHash& out) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t bar = stored.find('$', start);
        parts.push_back(stored.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    if (parts.size() != 4 || parts[0] != hashScheme) return false;
    const std::string& count = parts[1];
    if (count.empty() || count.size() > 8) return false;
    long value = 0;
    for (char c : count) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > maxPasswordIterations) return false;
    out.iterations = static_cast<int>(value);
    return unhex(parts[2], out.salt) && out.salt.size() >= 8 && out.salt.size() <= 64 && unhex(parts[3], out.hash) &&
           out.hash.size() == hashBytes;
}

#ifdef ZARN_HOST_OPENSSL
bool derive(const std::string& password, const std::vector<unsigned char>& salt, int iterations, unsigned char* out) {
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                             static_cast<int>(salt.size()), iterations, EVP_sha256(), static_cast<int>(hashBytes),
                             out) == 1;
}
#endif

}  // namespace

bool passwordHashingAvailable() {
#ifdef ZARN_HOST_OPENSSL
    return true;
#else
    return false;
#endif
}

std::string randomHex(std::size_t byteCount) {
    std::vector<unsigned char> bytes(byteCount);
#ifdef ZARN_HOST_OPENSSL
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) return "";
#else
    // The standard library's source of non-deterministic numbers, which the
    // supported toolchains take from the system's secure random source.
    std::random_device source;
    for (auto& b : bytes) b = static_cast<unsigned char>(source() & 0xff);
#endif
    return hex(bytes.data(), bytes.size());
}

std::string hashPassword(const std::string& password, std::string& error) {
#ifdef ZARN_HOST_OPENSSL
    if (password.empty()) {
        error = "the password is empty";
        return "";
    }
    std::vector<unsigned char> salt(saltBytes);
    unsigned char hash[hashBytes];
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1 ||
        !derive(password, salt, passwordIterations, hash)) {
        error = "the system's random source or hash failed";
        return "";
    }
    return std::string(hashScheme) + "$" + std::to_string(passwordIterations) + "$" + hex(salt.data(), salt.size()) +
           "$" + hex(hash, hashBytes);
#else
    (void)password;
    error = "password files are not available in this build (it has no OpenSSL)";
    return "";
#endif
}

bool passwordLineValid(const std::string& stored) {
    StoredHash parsed;
    return parseStored(stored, parsed);
}

bool passwordMatches(const std::string& stored, const std::string& password) {
    StoredHash parsed;
    if (!parseStored(stored, parsed)) return false;
#ifdef ZARN_HOST_OPENSSL
    unsigned char hash[hashBytes];
    if (!derive(password, parsed.salt, parsed.iterations, hash)) return false;
    return sameSecret(std::string(reinterpret_cast<char*>(hash), hashBytes),
                      std::string(parsed.hash.begin(), parsed.hash.end()));
#else
    (void)password;
    return false;
#endif
}

bool sameSecret(const std::string& a, const std::string& b) {
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace zarn_host
