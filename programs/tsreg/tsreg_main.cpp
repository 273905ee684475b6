// tsreg: administers the registry store.
//   tsreg [-m MACHINE] get KEY NAME | set KEY NAME VALUE | del KEY NAME | delkey KEY
//                      | list KEY | export KEY | import FILE|- | newmachine NAME
// KEY is a full path such as HKEY_LOCAL_MACHINE\SOFTWARE\Brendlow\Tessaro\CurrentVersion\Server.
// export/import use the text form of platform/reg_text_format.h; import applies the whole
// file, or nothing when a line is bad or a write fails.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/reg_commands.h"
#include "platform/runtime_root_owner.h"

using namespace tessaro::platform;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: tsreg [-m MACHINE] get KEY NAME\n"
                 "       tsreg [-m MACHINE] set KEY NAME VALUE\n"
                 "       tsreg [-m MACHINE] del KEY NAME\n"
                 "       tsreg [-m MACHINE] delkey KEY\n"
                 "       tsreg [-m MACHINE] list KEY\n"
                 "       tsreg [-m MACHINE] export KEY\n"
                 "       tsreg [-m MACHINE] import FILE|-\n"
                 "       tsreg newmachine NAME\n");
    return 2;
}

// Writes what the command printed and its message; the command's status.
int Finish(const RegCommandResult& result) {
    std::fwrite(result.output.data(), 1, result.output.size(), stdout);
    std::fflush(stdout);
    if (!result.message.empty()) std::fprintf(stderr, "tsreg: %s\n", result.message.c_str());
    return result.status;
}

int Import(const RegCommands& registry, const std::string& file) {
    if (file == "-") return Finish(registry.Import(std::cin, file));
    std::ifstream in(file);
    if (!in) {
        std::fprintf(stderr, "tsreg: cannot open %s\n", file.c_str());
        return 1;
    }
    return Finish(registry.Import(in, file));
}

}  // namespace

int main(int argc, char** argv) {
    // Run by root on a runtime root that belongs to the service account, it works as that
    // account: a store it made or changed must stay the engine's to write.
    GiveUpRootForRuntimeRoot();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string machine;
    if (args.size() >= 2 && (args[0] == "-m" || args[0] == "--machine")) {
        machine = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return Usage();
    const RegCommands registry(machine);
    const std::string& cmd = args[0];
    if (cmd == "get" && args.size() == 3) return Finish(registry.Get(args[1], args[2]));
    if (cmd == "set" && args.size() == 4) return Finish(registry.Set(args[1], args[2], args[3]));
    if (cmd == "del" && args.size() == 3) return Finish(registry.Delete(args[1], args[2]));
    if (cmd == "delkey" && args.size() == 2) return Finish(registry.DeleteKey(args[1]));
    if (cmd == "list" && args.size() == 2) return Finish(registry.List(args[1]));
    if (cmd == "export" && args.size() == 2) return Finish(registry.Export(args[1]));
    if (cmd == "import" && args.size() == 2) return Import(registry, args[1]);
    if (cmd == "newmachine" && args.size() == 2) return Finish(RegCommands::CreateMachine(args[1]));
    return Usage();
}
