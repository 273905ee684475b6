// tsreg: administers the registry store.
//   tsreg [-m MACHINE] get KEY NAME | set KEY NAME VALUE | del KEY NAME | delkey KEY
//                      | list KEY | export KEY | import FILE|- | newmachine NAME
// KEY is a full path such as HKEY_LOCAL_MACHINE\SOFTWARE\Brendlow\Tessaro\CurrentVersion\Server.
// export/import use the text form of platform/reg_text_format.h.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/reg_text_format.h"
#include "platform/registry_store.h"
#include "platform/win32_error.h"

using namespace tessaro::platform;

namespace {

std::string g_machine;

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

std::string ErrorText(long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return "not found";
        case ERROR_ACCESS_DENIED:
            return "access denied";
        case ERROR_KEY_DELETED:
            return "key was deleted";
        case RPC_S_SERVER_UNAVAILABLE:
            return "machine not reachable";
        default:
            return WindowsErrorText(code);
    }
}

int Fail(const std::string& what, long code) {
    std::fprintf(stderr, "tsreg: %s: %s (error %ld)\n", what.c_str(), ErrorText(code).c_str(), code);
    return 1;
}

// The root handle of KEY (connected to the chosen machine) and the rest of the path.
long SplitKey(const std::string& full, HKEY* root, std::string* rest, bool* ownsRoot) {
    HKEY predefined = nullptr;
    *ownsRoot = false;
    if (!RegSplitRootPath(full, &predefined, rest)) return ERROR_INVALID_PARAMETER;
    if (g_machine.empty()) {
        *root = predefined;
        return ERROR_SUCCESS;
    }
    long err = RegConnectRegistry(g_machine, predefined, root);
    if (err == ERROR_SUCCESS) *ownsRoot = true;
    return err;
}

class Key {
public:
    Key(const std::string& full, bool create) : full_(full) {
        HKEY root = nullptr;
        std::string rest;
        bool owns = false;
        error_ = SplitKey(full, &root, &rest, &owns);
        if (error_ == ERROR_INVALID_PARAMETER) {
            badRoot_ = true;
            return;
        }
        if (error_ != ERROR_SUCCESS) return;
        error_ = create ? RegCreateKey(root, rest, &key_) : RegOpenKey(root, rest, KEY_ALL_ACCESS, &key_);
        if (owns) RegCloseKey(root);
    }
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    HKEY get() const { return key_; }
    long error() const { return error_; }
    int Report() const {
        if (badRoot_) {
            std::fprintf(stderr,
                         "tsreg: %s: the key must start with HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, "
                         "HKEY_CLASSES_ROOT or HKEY_USERS\n",
                         full_.c_str());
            return 2;
        }
        return Fail("key " + full_, error_);
    }

private:
    std::string full_;
    HKEY key_ = nullptr;
    long error_ = ERROR_SUCCESS;
    bool badRoot_ = false;
};

int CmdGet(const std::string& key, const std::string& name) {
    Key k(key, false);
    if (!k.get()) return k.Report();
    std::uint32_t type = 0;
    std::string data;
    long err = RegQueryValue(k.get(), name, &type, &data);
    if (err == ERROR_FILE_NOT_FOUND) {
        std::fprintf(stderr, "tsreg: value \"%s\" not found in %s\n", name.c_str(), key.c_str());
        return 1;
    }
    if (err != ERROR_SUCCESS) return Fail("value \"" + name + "\"", err);
    if (type == REG_SZ) {
        std::fwrite(data.data(), 1, data.size(), stdout);
        std::fputc('\n', stdout);
    } else {
        std::printf("%s\n", RegValueDataText(type, data).c_str());
    }
    return 0;
}

int CmdSet(const std::string& key, const std::string& name, const std::string& value) {
    Key k(key, true);
    if (!k.get()) return k.Report();
    long err = RegSetString(k.get(), name, value);
    return err == ERROR_SUCCESS ? 0 : Fail("value \"" + name + "\"", err);
}

int CmdDel(const std::string& key, const std::string& name) {
    Key k(key, false);
    if (!k.get()) return k.Report();
    long err = RegDeleteValue(k.get(), name);
    if (err == ERROR_FILE_NOT_FOUND) {
        std::fprintf(stderr, "tsreg: value \"%s\" not found in %s\n", name.c_str(), key.c_str());
        return 1;
    }
    return err == ERROR_SUCCESS ? 0 : Fail("value \"" + name + "\"", err);
}

int CmdDelKey(const std::string& full) {
    HKEY root = nullptr;
    std::string rest;
    bool owns = false;
    long err = SplitKey(full, &root, &rest, &owns);
    if (err == ERROR_INVALID_PARAMETER) return Key(full, false).Report();
    if (err != ERROR_SUCCESS) return Fail("key " + full, err);
    if (rest.find_first_not_of('\\') == std::string::npos) {
        std::fprintf(stderr, "tsreg: %s: a root key cannot be deleted\n", full.c_str());
        if (owns) RegCloseKey(root);
        return 1;
    }
    err = RegDeleteTree(root, rest);
    if (owns) RegCloseKey(root);
    return err == ERROR_SUCCESS ? 0 : Fail("key " + full, err);
}

int CmdList(const std::string& full) {
    Key k(full, false);
    if (!k.get()) return k.Report();
    std::string name, data;
    std::uint32_t type = 0;
    long err;
    for (std::uint32_t i = 0; (err = RegEnumKey(k.get(), i, &name)) == ERROR_SUCCESS; ++i) {
        std::printf("%s\\\n", name.c_str());
    }
    if (err != ERROR_NO_MORE_ITEMS) return Fail("key " + full, err);
    for (std::uint32_t i = 0; (err = RegEnumValue(k.get(), i, &name, &type, &data)) == ERROR_SUCCESS; ++i) {
        std::printf("%s=%s\n", RegValueNameText(name).c_str(), RegValueDataText(type, data).c_str());
    }
    return err == ERROR_NO_MORE_ITEMS ? 0 : Fail("key " + full, err);
}

int CmdExport(const std::string& full) {
    Key k(full, false);
    if (!k.get()) return k.Report();
    std::ostringstream out;
    long err = ExportRegText(k.get(), out);
    if (err != ERROR_SUCCESS) return Fail("key " + full, err);
    std::fputs(out.str().c_str(), stdout);
    return 0;
}

int CmdImport(const std::string& file) {
    std::ifstream fileStream;
    std::istream* in = &std::cin;
    if (file != "-") {
        fileStream.open(file);
        if (!fileStream) {
            std::fprintf(stderr, "tsreg: cannot open %s\n", file.c_str());
            return 1;
        }
        in = &fileStream;
    }
    std::string line;
    std::unique_ptr<Key> current;
    int number = 0;
    while (std::getline(*in, line)) {
        ++number;
        RegTextLine parsed = ParseRegTextLine(line);
        switch (parsed.kind) {
            case RegTextLine::Kind::Blank:
                continue;
            case RegTextLine::Kind::Key:
                current = std::make_unique<Key>(parsed.key, true);
                if (!current->get()) return current->Report();
                continue;
            case RegTextLine::Kind::Value:
                break;
            case RegTextLine::Kind::BadKey:
            case RegTextLine::Kind::BadValueName:
            case RegTextLine::Kind::BadValue:
                std::fprintf(stderr, "tsreg: %s:%d: %s\n", file.c_str(), number, RegTextLineError(parsed.kind));
                return 1;
        }
        if (!current) {
            std::fprintf(stderr, "tsreg: %s:%d: value before any [KEY] line\n", file.c_str(), number);
            return 1;
        }
        long err = RegSetValue(current->get(), parsed.name, parsed.type, parsed.data);
        if (err != ERROR_SUCCESS) return Fail("value \"" + parsed.name + "\"", err);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && (args[0] == "-m" || args[0] == "--machine")) {
        g_machine = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return Usage();
    const std::string& cmd = args[0];
    if (cmd == "get" && args.size() == 3) return CmdGet(args[1], args[2]);
    if (cmd == "set" && args.size() == 4) return CmdSet(args[1], args[2], args[3]);
    if (cmd == "del" && args.size() == 3) return CmdDel(args[1], args[2]);
    if (cmd == "delkey" && args.size() == 2) return CmdDelKey(args[1]);
    if (cmd == "list" && args.size() == 2) return CmdList(args[1]);
    if (cmd == "export" && args.size() == 2) return CmdExport(args[1]);
    if (cmd == "import" && args.size() == 2) return CmdImport(args[1]);
    if (cmd == "newmachine" && args.size() == 2) {
        long err = RegCreateMachineStore(args[1]);
        return err == ERROR_SUCCESS ? 0 : Fail("machine " + args[1], err);
    }
    return Usage();
}
