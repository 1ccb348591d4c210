// zarn_host_man TEMPLATE OUTPUT VERSION: writes zarn_host's man page from its
// template and the program's own command-line definitions (a build step).
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/command_line.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: zarn_host_man TEMPLATE OUTPUT VERSION\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream manTemplate;
    manTemplate << in.rdbuf();
    if (!in) {
        std::cerr << "zarn_host_man: " << argv[1] << ": cannot read the template\n";
        return 2;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << zarn_host::manPage(manTemplate.str(), argv[3]);
    if (!out.flush()) {
        std::cerr << "zarn_host_man: " << argv[2] << ": cannot write the man page\n";
        return 2;
    }
    return 0;
}
