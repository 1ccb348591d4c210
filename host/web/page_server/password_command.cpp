// zarn_host password FILE: the file of --password-file, a salted hash of the
// password read from standard input (its first line).
#include <fstream>
#include <istream>
#include <ostream>
#include <string>

#include "text/command_text.h"
#include "web/http/login_crypto.h"
#include "web/serve.h"

namespace zarn_host {

int passwordMain(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err) {
    const char* usage = "usage: zarn_host password FILE   (the password on standard input's first line)";
    if (argc != 2 || std::string(argv[1]).rfind("-", 0) == 0) {
        bool help = argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h");
        (help ? out : err) << usage << "\n";
        return help ? 0 : 2;
    }
    if (!passwordHashingAvailable()) {
        err << "zarn_host password: password files are not available in this build (it has no OpenSSL)\n";
        return 2;
    }
    std::string password;
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    std::string error;
    std::string line = hashPassword(password, error);
    if (line.empty()) {
        err << "zarn_host password: " << error << "\n";
        return 2;
    }
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file << line << "\n";
    file.close();
    if (!file) {
        err << "zarn_host password: cannot write " << printable(argv[1], 200) << "\n";
        return 2;
    }
    out << "zarn_host password: wrote " << printable(argv[1], 200) << " for --password-file\n";
    return 0;
}

}  // namespace zarn_host
