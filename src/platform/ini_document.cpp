#include "platform/ini_document.h"

#include <algorithm>
#include <cctype>

namespace kiln::platform {

namespace {
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

IniDocument::IniDocument(std::string_view content) {
  if (content.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    bom_ = kUtf8Bom;
    content.remove_prefix(kUtf8Bom.size());
  }
  bool styleSeen = false;
  while (!content.empty()) {
    const std::size_t end = content.find_first_of("\r\n");
    std::string_view text = content.substr(0, end);
    std::string_view eol;
    if (end != std::string_view::npos) {
      const bool crlf =
          content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n';
      eol = content.substr(end, crlf ? 2 : 1);
      if (!styleSeen) {
        lineEnding_ = eol;
        styleSeen = true;
      }
    }
    lines_.push_back(ParseLine(text, eol));
    content.remove_prefix(text.size() + eol.size());
  }
}

IniDocument::Line IniDocument::ParseLine(std::string_view text, std::string_view eol) {
  Line line;
  line.text = text;
  line.eol = eol;
  const std::string_view body = TrimBlanks(text);
  if (body.empty()) {
    line.kind = LineKind::kBlank;
  } else if (body.front() == ';') {
    line.kind = LineKind::kComment;
  } else if (body.front() == '[' && body.find(']') != std::string_view::npos) {
    // Blanks inside the brackets are not part of the name.
    line.kind = LineKind::kSection;
    line.name = TrimBlanks(body.substr(1, body.find(']') - 1));
  } else if (const std::size_t equals = body.find('='); equals != std::string_view::npos) {
    // A "[" without its "]" is no header: such a line is read like any other.
    line.kind = LineKind::kEntry;
    line.name = TrimBlanks(body.substr(0, equals));
    line.value = TrimBlanks(body.substr(equals + 1));
  } else {
    line.kind = LineKind::kOther;
  }
  return line;
}

std::optional<IniDocument::Section> IniDocument::FindSection(std::string_view name) const {
  if (name.empty()) return std::nullopt;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind != LineKind::kSection || !EqualsNoCase(lines_[i].name, name)) continue;
    std::size_t end = i + 1;
    while (end < lines_.size() && lines_[end].kind != LineKind::kSection) ++end;
    return Section{i, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> IniDocument::FindKey(const Section& section,
                                                std::string_view key) const {
  for (std::size_t i = section.header + 1; i < section.end; ++i) {
    if (lines_[i].kind == LineKind::kEntry && EqualsNoCase(lines_[i].name, key)) return i;
  }
  return std::nullopt;
}

std::vector<std::string_view> IniDocument::SectionNames() const {
  std::vector<std::string_view> names;
  for (const Line& line : lines_) {
    if (line.kind == LineKind::kSection) names.emplace_back(line.name);
  }
  return names;
}

std::vector<std::string_view> IniDocument::KeyNames(const Section& section) const {
  std::vector<std::string_view> names;
  for (std::size_t i = section.header + 1; i < section.end; ++i) {
    if (lines_[i].kind == LineKind::kEntry) names.emplace_back(lines_[i].name);
  }
  return names;
}

void IniDocument::EnsureLastLineEnded() {
  if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = lineEnding_;
}

bool IniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  auto MakeEntry = [&](std::string_view keySpelling) {
    std::string text(keySpelling);
    text += '=';
    text += value;
    return ParseLine(text, lineEnding_);
  };

  const std::optional<Section> found = FindSection(section);
  if (!found) {
    EnsureLastLineEnded();
    std::string header = "[";
    header += section;
    header += ']';
    lines_.push_back(ParseLine(header, lineEnding_));
    lines_.push_back(MakeEntry(key));
    return true;
  }

  if (const std::optional<std::size_t> at = FindKey(*found, key)) {
    Line replacement = MakeEntry(lines_[*at].name);
    replacement.eol = lines_[*at].eol;  // the last line of a file may have no ending
    if (replacement.text == lines_[*at].text) return false;
    lines_[*at] = std::move(replacement);
    return true;
  }

  // A new key goes after the section's last non-blank line, so that blank lines that
  // separate it from the next section stay where they are.
  std::size_t insertAt = found->header + 1;
  for (std::size_t i = found->header + 1; i < found->end; ++i) {
    if (lines_[i].kind != LineKind::kBlank) insertAt = i + 1;
  }
  if (lines_[insertAt - 1].eol.empty()) lines_[insertAt - 1].eol = lineEnding_;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), MakeEntry(key));
  return true;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  const std::optional<Section> found = FindSection(section);
  if (!found) return false;
  const std::optional<std::size_t> at = FindKey(*found, key);
  if (!at) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
  return true;
}

bool IniDocument::DeleteSection(std::string_view section) {
  const std::optional<Section> found = FindSection(section);
  if (!found) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(found->header),
               lines_.begin() + static_cast<std::ptrdiff_t>(found->end));
  return true;
}

std::string IniDocument::Render() const {
  std::string out = bom_;
  for (const Line& line : lines_) {
    out += line.text;
    out += line.eol;
  }
  return out;
}

}  // namespace kiln::platform
