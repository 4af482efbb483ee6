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

bool FitsOnOneLine(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
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
    // Left out of every listing, but a lookup of its text before the '=' finds it, as the
    // profile functions do ("; Hidden=1" is the key "; Hidden").
    line.kind = LineKind::kComment;
    if (const std::size_t equals = body.find('='); equals != std::string_view::npos) {
      line.name = TrimBlanks(body.substr(0, equals));
      line.value = TrimBlanks(body.substr(equals + 1));
    }
  } else if (body.front() == '[' && body.rfind(']') != std::string_view::npos) {
    // The name runs to the last "]" ("[x]y]" is "x]y"), without its blanks; text after
    // that bracket is ignored.
    line.kind = LineKind::kSection;
    line.name = TrimBlanks(body.substr(1, body.rfind(']') - 1));
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
  name = TrimBlanks(name);
  const auto BodyFrom = [this](std::size_t first) {
    std::size_t end = first;
    while (end < lines_.size() && lines_[end].kind != LineKind::kSection) ++end;
    return Section{first, end};
  };
  if (name.empty()) return BodyFrom(0);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind != LineKind::kSection || lines_[i].name.empty()) continue;
    if (EqualsNoCase(lines_[i].name, name)) return BodyFrom(i + 1);
  }
  return std::nullopt;
}

std::optional<std::size_t> IniDocument::FindKey(const Section& section,
                                                std::string_view key) const {
  key = TrimBlanks(key);
  for (std::size_t i = section.body; i < section.end; ++i) {
    const Line& line = lines_[i];
    const bool found =
        line.kind == LineKind::kEntry || (line.kind == LineKind::kComment && !line.name.empty());
    if (found && EqualsNoCase(line.name, key)) return i;
  }
  return std::nullopt;
}

std::vector<std::string_view> IniDocument::SectionNames() const {
  std::vector<std::string_view> names;
  for (const Line& line : lines_) {
    if (line.kind == LineKind::kSection && !line.name.empty()) names.emplace_back(line.name);
  }
  return names;
}

std::vector<std::string_view> IniDocument::KeyNames(const Section& section) const {
  std::vector<std::string_view> names;
  for (std::size_t i = section.body; i < section.end; ++i) {
    if (lines_[i].kind == LineKind::kEntry) names.emplace_back(lines_[i].name);
  }
  return names;
}

std::vector<std::string> IniDocument::SectionLines(const Section& section) const {
  std::vector<std::string> listed;
  for (std::size_t i = section.body; i < section.end; ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::kEntry) {
      listed.push_back(line.name + '=' + line.value);
    } else if (line.kind == LineKind::kOther) {
      listed.emplace_back(TrimBlanks(line.text));
    }
  }
  return listed;
}

void IniDocument::EnsureLastLineEnded() {
  if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = lineEnding_;
}

bool IniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  if (!FitsOnOneLine(section) || !FitsOnOneLine(key) || !FitsOnOneLine(value)) {
    refused_ = true;
    return false;
  }
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
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
    header += TrimBlanks(section);
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
  std::size_t insertAt = found->body;
  for (std::size_t i = found->body; i < found->end; ++i) {
    if (lines_[i].kind != LineKind::kBlank) insertAt = i + 1;
  }
  if (insertAt != 0 && lines_[insertAt - 1].eol.empty()) lines_[insertAt - 1].eol = lineEnding_;
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
  // With its header; the part before the first header has none.
  const std::size_t first = found->body != 0 ? found->body - 1 : 0;
  if (first == found->end) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(first),
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
