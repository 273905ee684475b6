// tsevent: sets a named event (as a client would), or waits for one.
//   tsevent set NAME            exit 0 when set, 1 when nobody holds the event
//   tsevent wait NAME [MS]      creates/holds the event and waits; exit 0 when set, 1 on time-out
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/named_event.h"
#include "platform/runtime_root_owner.h"
#include "platform/win32_error.h"

using namespace tessaro::platform;

int main(int argc, char** argv) {
    // Run by root on a runtime root that belongs to the service account, it works as that account.
    GiveUpRootForRuntimeRoot();
    std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "set" && argc == 3) {
        long err = NamedEvent::Set(argv[2]);
        if (err != ERROR_SUCCESS) {
            std::fprintf(stderr, "tsevent: cannot set event %s: %s\n", argv[2], WindowsErrorText(err).c_str());
            return 1;
        }
        return 0;
    }
    if (cmd == "wait" && (argc == 3 || argc == 4)) {
        long err = ERROR_SUCCESS;
        auto event = NamedEvent::Create(argv[2], &err);
        if (!event) {
            std::fprintf(stderr, "tsevent: cannot create event %s: %s\n", argv[2], WindowsErrorText(err).c_str());
            return 2;
        }
        std::uint32_t timeout =
            argc == 4 ? static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)) : kWaitInfinite;
        return event->Wait(timeout) ? 0 : 1;
    }
    std::fprintf(stderr, "usage: tsevent set NAME | tsevent wait NAME [MS]\n");
    return 2;
}
