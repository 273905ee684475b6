#pragma once
// Tests run by root (as CI runs them) start the engine as production does: started by root,
// the engine gives root up for the account its runtime root belongs to, and it refuses to
// serve from a root that belongs to root. -INSTALL gives the root away itself; a test that
// starts the engine (or tsexec) without installing it first gives its temporary root to the
// system's service account the same way. Nothing happens when the tests do not run as root.
//
// The account is the one -INSTALL uses by default (made when missing, as -INSTALL makes it: a
// system account without a login shell); making it is harmless to repeat and safe from
// several test programs at once.

#include <string>

namespace tessaro::test {

// Gives the runtime root at home to the service account (see platform/runtime_root_owner.h);
// records a test failure when it cannot.
void GiveHomeToServiceAccount(const std::string& home);

// Gives a folder the test made (and everything in it) to the service account: one the engine
// reads and writes beside its runtime root, such as the tests' ODBC configuration.
void GiveFolderToServiceAccount(const std::string& folder);

// The account a process runs as ("root", "tessaro", ...), from /proc; empty when it is gone.
std::string ProcessAccount(long pid);

}  // namespace tessaro::test
