// The one check every file a template feature touches passes (TSINCLUDE, TSERROR,
// TSCONTENT, TSFILE, TSMAIL attachments, TSREPORT and its data files, GetGraphic,
// the file functions): the private files of the running system are never read,
// written, created or deleted on a template's behalf. What is private is said once,
// in platform/runtime_private_files.h, for every program that opens such files.
//
// The path forms below answer questions asked before a file is opened (a message, a
// file test); every road then opens the file once with TemplateFileCheck(), which
// judges what was really opened, by real path and by identity.
#pragma once

#include <string>

#include "platform/checked_file.h"

// True when the text holds a zero byte.
bool PathHasNul(const std::string& path);

// True when path (as the caller will open it) is, or lies in, a private file or
// folder. A path that cannot be resolved is judged by the part that exists.
bool IsRuntimePrivateFile(const std::string& path);

// Adds a folder (a trailing '/') or a file to the private ones for the life of
// the process (the mail folder a setting names, for example).
void AddRuntimePrivatePath(const std::string& path);

// The check for the opener (platform/checked_file.h): refuses a private file or folder.
const tessaro::platform::OpenedObjectCheck& TemplateFileCheck();

// The folder of the runtime root that templates may use for their own files
// (GetTempDirectory), with a trailing '/'; created when missing.
std::string TemplateTempDirectory();
