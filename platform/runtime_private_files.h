// The private files and folders of the running system, which no file a template names
// may be, lie in or lead to:
// - the runtime root itself and every file directly in it (registry.db and its
//   companions among them), and its folders run/, scm/, windows/, log/, machines/,
//   Mail/, tsr/ and tmp/ (all of tmp/ but tmp/templates/, the templates' own);
// - paths its owner adds (the engine's gate adds the mail folder Mail\BaseDirectory
//   names when it is outside the root), handed to each question below;
// - the ODBC configuration files the process was started with;
// - the kernel's own files (/proc, /sys, /dev and file systems of their kind).
//
// A path is judged by its real path (links resolved, letters compared without regard
// to case below the root); an opened object also by identity: the folders that hold it,
// and, for a file of more than one name, whether another name of it lies in a private
// place. Every program that opens a file for a template asks here, the mailer and the
// print engine as well as the engine.
//
// The real paths and identities of the private files are examined once and kept until the
// system reports a change on the way to one of them (name_change_watch.h); where a change
// could go unreported they are examined again for every question.
#pragma once

#include <string>
#include <vector>

#include "platform/checked_file.h"

namespace tessaro::platform {

// True when path (as the caller will open it) is, or lies in, a private file or folder;
// added holds the owner's own private folders (ending in '/') and files. A path that
// cannot be resolved is judged by the part that exists; a zero byte in it makes it
// private (the system would see only the part before it).
bool IsPrivatePath(const std::string& path, const std::vector<std::string>& added = {});

// True when path names (links followed) something that is there, no folder, and not
// private: the existence and the privacy of a file about to be opened by its name, from one
// look at what the name stands for.
bool IsNonPrivateFile(const std::string& path, const std::vector<std::string>& added = {});

// True when the opened object is private, or cannot be told.
bool IsPrivateObject(const OpenedObject& object, const std::vector<std::string>& added = {});

// The check of a road with no private paths of its own (the mailer, the print engine):
// refuses what IsPrivateObject calls private.
const OpenedObjectCheck& NotPrivateCheck();

}  // namespace tessaro::platform
