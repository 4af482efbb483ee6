#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiln::platform {

// One parsed INI text, kept line by line with each line's own ending so that an edit
// can write every untouched line back byte for byte. Lines are classified the way the
// Windows profile functions read them; the text is never re-encoded.
class IniDocument {
 public:
  // kOther: a line that is neither a header nor a key (no equals sign); it is kept in
  // the file but never found or listed.
  enum class LineKind { kBlank, kComment, kSection, kEntry, kOther };

  struct Line {
    LineKind kind = LineKind::kBlank;
    std::string text;   // the line without its ending
    std::string eol;    // "\r\n", "\n", "\r" or "" (last line without an ending)
    std::string name;   // section name or key name, trimmed
    std::string value;  // entry value, trimmed (quotes kept)
  };

  // Index range of a section's body: its first line and the first line past it. The
  // part before the first header is the section with the empty name.
  struct Section {
    std::size_t body;
    std::size_t end;
  };

  IniDocument() = default;
  explicit IniDocument(std::string_view content);

  const std::vector<Line>& lines() const { return lines_; }

  // The first section whose name matches without regard to case, the name's own blanks
  // trimmed. An empty name is the part before the first header (always found, perhaps
  // empty); a "[]" header is never found.
  std::optional<Section> FindSection(std::string_view name) const;
  // The first entry of the section whose key matches without regard to case; a comment
  // line holding '=' counts as an entry here (and only here).
  std::optional<std::size_t> FindKey(const Section& section, std::string_view key) const;
  // The names of the headers, "[]" headers left out.
  std::vector<std::string_view> SectionNames() const;
  // The names of the section's entries (lines holding '='), an empty name included.
  std::vector<std::string_view> KeyNames(const Section& section) const;
  // The section's lines as a section listing gives them: entries as "key=value", other
  // lines (no '=') trimmed; blank and comment lines left out.
  std::vector<std::string> SectionLines(const Section& section) const;

  // The file's line-ending style: that of its first line; CRLF for a file without one.
  std::string_view LineEnding() const { return lineEnding_; }

  // Edits. Each returns true when the document changed. A section, key or value that
  // holds a line break or a zero byte would add lines to the file: SetValue refuses it,
  // changes nothing and remembers the refusal (refused()). A value is stored without its
  // leading blanks.
  bool SetValue(std::string_view section, std::string_view key, std::string_view value);
  bool DeleteKey(std::string_view section, std::string_view key);
  bool DeleteSection(std::string_view section);

  // Whether an edit was refused since the document was made.
  bool refused() const { return refused_; }

  // The whole text, byte-order mark included.
  std::string Render() const;

 private:
  static Line ParseLine(std::string_view text, std::string_view eol);
  void EnsureLastLineEnded();

  std::string bom_;
  std::string lineEnding_ = "\r\n";
  std::vector<Line> lines_;
  bool refused_ = false;
};

// Blanks and tabs around a name or value.
std::string_view TrimBlanks(std::string_view text);
// Whether text can be one line of a file: no CR, LF or zero byte.
bool FitsOnOneLine(std::string_view text);
// A value enclosed in matching double or single quotes loses them.
std::string_view StripQuotes(std::string_view value);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace kiln::platform
