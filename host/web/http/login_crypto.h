// The secrets of the login: random tokens from the system's secure random
// source and salted password hashes (PBKDF2 with SHA-256). Built with OpenSSL
// where the host has it; without it tokens come from std::random_device and
// password files are unavailable.
#pragma once

#include <string>

namespace zarn_host {

// Whether password files can be written and checked in this build.
bool passwordHashingAvailable();

// byteCount random bytes as lower-case hex; empty when the random source fails.
std::string randomHex(std::size_t byteCount);

// A password file's line for password: "pbkdf2-sha256$ITERATIONS$SALT$HASH"
// (salt and hash in hex); empty with error when it cannot be made.
std::string hashPassword(const std::string& password, std::string& error);

// Whether password matches stored (a line hashPassword wrote). False for a
// malformed line, never an exception.
bool passwordMatches(const std::string& stored, const std::string& password);

// Whether a stored line has hashPassword's form (read from a password file
// at start, so a bad file is refused there and not at every login).
bool passwordLineValid(const std::string& stored);

// a == b in a time that does not depend on where they first differ.
bool sameSecret(const std::string& a, const std::string& b);

}  // namespace zarn_host
