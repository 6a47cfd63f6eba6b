// lumivel-docs FOLDER: writes the manual pages and the completion scripts and the shipped
// configuration file below FOLDER (man/, bash-completion/, zsh/, etc/), at
// build time, from the tables the programs' --help is made of.
#include <cstdio>
#include <fstream>
#include <string>

#include "cli/manual/completion_scripts.h"
#include "cli/manual/config_documents.h"
#include "cli/manual/manual_pages.h"

namespace {

bool written(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (file) return true;
    std::fprintf(stderr, "lumivel-docs: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumivel-docs FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    using namespace lumivel_cli;
    const bool ok = written(folder + "/man/lumivel.1", LumivelManualPage()) &&
                    written(folder + "/man/lumivel-scheduler.8", SchedulerManualPage()) &&
                    written(folder + "/man/lumivel.conf.5", ConfigManualPage()) &&
                    written(folder + "/etc/lumivel.conf", ShippedConfigFile()) &&
                    written(folder + "/bash-completion/lumivel", BashCompletionScript()) &&
                    written(folder + "/zsh/_lumivel", ZshCompletionScript());
    return ok ? 0 : 1;
}
