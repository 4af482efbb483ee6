#pragma once

#include <cstdint>
#include <functional>

// The private-profile functions through which every part of Kiln reads and writes
// Kiln.ini and the language files. They behave as their Windows namesakes do
// (case-insensitive names, first match wins, trimmed and unquoted values, the Win32
// return values and truncation rules, NULL listings and deletions); writes replace the
// file atomically, so a crash or a full disk never leaves a half-written file.
namespace kiln::platform {

// Copies the value of key in section into out (at most size - 1 characters, always
// terminated) and returns the number of characters copied. A missing key yields
// defaultValue without its trailing spaces (NULL reads as empty). A NULL key lists the
// section's key names, a NULL section lists the file's section names: each name
// NUL-terminated, an extra NUL at the end; a list that does not fit is cut and
// size - 2 is returned. An empty list is one NUL and 0. Names are compared with their
// blanks trimmed, except that a section asked with blanks around its name lists nothing;
// the empty section name means the lines before the first header. A comment line
// ("; Key=value") is found by its text before the '=' but never listed.
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* out, uint32_t size, const char* path);

// Reads the value as an integer: optional blanks, optional sign, decimal digits (a
// lower-case 0x prefix reads hexadecimal; "0X" reads 0), up to the first other character; the
// result as unsigned 32 bits. A missing or empty value yields defaultValue.
uint32_t GetPrivateProfileIntA(const char* section, const char* key, int32_t defaultValue,
                               const char* path);

// Copies the section's lines, "key=value" for a key and the trimmed line for a line
// without an equals sign (blank and comment lines left out), each NUL-terminated, with
// an extra NUL at the end. Returns the characters copied without the final NUL; size - 2
// when the list was cut; 0, with two zero bytes written, for a missing or empty section
// and for a section asked with blanks around its name.
uint32_t GetPrivateProfileSectionA(const char* section, char* out, uint32_t size, const char* path);

// Sets key in section to value (without its leading blanks), creating the file and the
// section when missing. A NULL value removes the key, a NULL key removes the whole
// section. Every other line is kept byte for byte, and so is the file's line-ending
// style (new files use CRLF). Returns false, leaving the old file untouched, when the
// file is read-only or cannot be replaced, or when the section, key or value holds a
// line break or a zero byte.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* path);

class IniDocument;

// kRefused: an edit would have put a line break or a zero byte into the file.
enum class ProfileEdit { kWritten, kUnchanged, kCannotRead, kReadOnly, kCannotReplace, kRefused };

// Several edits of one file in one atomic replacement: reads path (a missing file is an
// empty document), lets edit change the document and, when edit returns true, replaces
// the file. A file that exists but cannot be read, a read-only file, a refused edit
// (IniDocument::refused) or a failed replacement leaves the file untouched and says which
// it was.
ProfileEdit EditProfile(const char* path, const std::function<bool(IniDocument&)>& edit);

// Clears a read-only file's protection (adds the owner's write permission). False when
// the file does not exist or its mode cannot be changed.
bool SetFileAttributesNormal(const char* path);

}  // namespace kiln::platform
