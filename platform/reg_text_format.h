// The text form of registry keys used by tsreg export/import:
//   [HKEY_LOCAL_MACHINE\SOFTWARE\...\Server]
//   "MaxRequests"="15"
//   @="the unnamed value"
//   "Flags"=dword:0000000f
//   "Blob"=hex:01,ff
// with \\, \", \n and \r escaped inside the quotes. Lines starting with ';' or '#'
// are comments; a CR before the line end is ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "platform/registry_store.h"

namespace tessaro::platform {

// Text with \, ", newline and carriage return escaped (no quotes added).
std::string EscapeRegText(const std::string& text);

// A value's data as written after '=': "text", dword:xxxxxxxx, or hex:xx,xx,...
// (every type other than REG_SZ and a 4-byte REG_DWORD is written as hex).
std::string RegValueDataText(std::uint32_t type, const std::string& data);

// A value's name as written before '=': "name", or @ for the unnamed value.
std::string RegValueNameText(const std::string& name);

// Writes key, its values and then each subkey (in enumeration order) in the text form.
// 0 or the registry's error number.
long ExportRegText(HKEY key, std::ostream& out);

// Reads a quoted, escaped text starting at line[pos] == '"'; pos ends after the
// closing quote. False when there is no opening or closing quote.
bool ReadRegQuoted(const std::string& line, std::size_t& pos, std::string* text);

// Parses the data after '=' into its type and bytes; false when it is malformed.
bool ParseRegValueData(const std::string& spec, std::uint32_t* type, std::string* data);

// One line of the text form, understood.
struct RegTextLine {
    enum class Kind {
        Blank,         // empty, or a comment
        Key,           // [key]: key holds the full path
        Value,         // name=data
        BadKey,        // "bad key line"
        BadValueName,  // "bad value name"
        BadValue,      // "bad value line"
    };
    Kind kind = Kind::Blank;
    std::string key;
    std::string name;
    std::uint32_t type = REG_SZ;
    std::string data;
};

RegTextLine ParseRegTextLine(std::string line);

// The message for a bad line kind ("bad key line", ...); empty for the others.
const char* RegTextLineError(RegTextLine::Kind kind);

}  // namespace tessaro::platform
