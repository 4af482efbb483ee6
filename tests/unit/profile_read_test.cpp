// Reading Kiln.ini through the profile functions: the Windows lookup rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "support/temp_dir.h"

namespace kiln::platform {
namespace {

using kiln::testing::TempDir;

class ProfileRead : public ::testing::Test {
 protected:
  std::string Ini(std::string_view text) { return dir_.Write("Kiln.ini", text); }

  std::string Get(const char* section, const char* key, const char* def, const std::string& path,
                  uint32_t size = 512, uint32_t* returned = nullptr) {
    std::vector<char> out(size + 1, '#');
    const uint32_t n = GetPrivateProfileStringA(section, key, def, out.data(), size, path.c_str());
    if (returned != nullptr) *returned = n;
    return std::string(out.data());
  }

  // Splits a NUL-separated, double-NUL-terminated list.
  static std::vector<std::string> SplitList(const char* buffer, uint32_t length) {
    std::vector<std::string> items;
    for (uint32_t i = 0; i < length;) {
      std::string item(buffer + i);
      i += static_cast<uint32_t>(item.size()) + 1;
      items.push_back(item);
    }
    return items;
  }

  TempDir dir_;
};

TEST_F(ProfileRead, NamesMatchWithoutCaseAndFirstMatchWins) {
  const std::string path =
      Ini("[Fw_Info1]\r\nmodel=M07\r\nMODEL=M09\r\n[FW_INFO1]\r\nModel=M11\r\n");
  EXPECT_EQ(Get("FW_INFO1", "Model", "x", path), "M07");
  EXPECT_EQ(Get("fw_info1", "MoDeL", "x", path), "M07");
}

TEST_F(ProfileRead, ValuesAreTrimmedAndUnquoted) {
  const std::string path =
      Ini("[s]\n"
          "  spaced \t=\t  value with  inner  blanks \t \n"
          "dq=\"  quoted  \"\n"
          "sq='single'\n"
          "mixed=\"not matched'\n"
          "lone=\"\n"
          "eq=b=c\n"
          "empty=\n");
  EXPECT_EQ(Get("s", "spaced", "", path), "value with  inner  blanks");
  EXPECT_EQ(Get("s", "dq", "", path), "  quoted  ");
  EXPECT_EQ(Get("s", "sq", "", path), "single");
  EXPECT_EQ(Get("s", "mixed", "", path), "\"not matched'");
  EXPECT_EQ(Get("s", "lone", "", path), "\"");
  EXPECT_EQ(Get("s", "eq", "", path), "b=c");
  EXPECT_EQ(Get("s", "empty", "default", path), "") << "a present empty value is not the default";
}

TEST_F(ProfileRead, MissingKeysSectionsAndFilesGiveTheDefault) {
  const std::string path = Ini("[s]\nk=v\n");
  EXPECT_EQ(Get("s", "other", "fallback  \t ", path), "fallback  \t") << "spaces only";
  EXPECT_EQ(Get("nosuch", "k", "  lead", path), "  lead");
  EXPECT_EQ(Get("s", "other", nullptr, path), "");
  EXPECT_EQ(Get("s", "k", "d", dir_.File("absent.ini")), "d");
  EXPECT_EQ(Get("s", "k", "d", dir_.path().string()), "d") << "a folder is no file";
}

TEST_F(ProfileRead, LineEndsByteOrderMarkAndComments) {
  const std::string path = Ini("\xEF\xBB\xBF[a]\rone=1\r\n;two=2\ntwo = 2\r[b]\nthree=3");
  EXPECT_EQ(Get("a", "one", "", path), "1");
  EXPECT_EQ(Get("a", "two", "", path), "2");
  EXPECT_EQ(Get("b", "three", "", path), "3") << "last line without an ending";
  EXPECT_EQ(Get("a", ";two", "none", path), "2") << "a comment line is found by its text";
  char buffer[64];
  const uint32_t n =
      GetPrivateProfileStringA("a", nullptr, "", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(SplitList(buffer, n), (std::vector<std::string>{"one", "two"})) << "but never listed";
}

TEST_F(ProfileRead, BytesAreNotReencoded) {
  const std::string path =
      Ini("[ger]\nReady=Bereit \xE4\xF6\xFC\n[jpn]\nReady=\xE6\xBA\x96\xE5\x82\x99\n");
  EXPECT_EQ(Get("ger", "Ready", "", path), "Bereit \xE4\xF6\xFC");
  EXPECT_EQ(Get("jpn", "Ready", "", path), "\xE6\xBA\x96\xE5\x82\x99");
}

TEST_F(ProfileRead, LongValuesAreCutAtSizeMinusOne) {
  const std::string path = Ini("[s]\nk=abcdefghij\n");
  uint32_t n = 0;
  EXPECT_EQ(Get("s", "k", "", path, 5, &n), "abcd");
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(Get("s", "k", "", path, 11, &n), "abcdefghij");
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(Get("s", "missing", "0123456789", path, 4, &n), "012");
  EXPECT_EQ(n, 3u);
  char one[1] = {'#'};
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", one, 1, path.c_str()), 0u);
  EXPECT_EQ(one[0], '\0');
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", one, 0, path.c_str()), 0u);
}

TEST_F(ProfileRead, NullKeyListsKeyNamesAndNullSectionListsSections) {
  const std::string path =
      Ini("[first]\nalpha=1\n; note\nbeta=2\n\n[Second]\ngamma=3\n[first]\ndelta=4\n");
  char buffer[64];
  uint32_t n = GetPrivateProfileStringA("FIRST", nullptr, "", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(n, 11u);  // "alpha\0beta\0"
  EXPECT_EQ(SplitList(buffer, n), (std::vector<std::string>{"alpha", "beta"}));
  EXPECT_EQ(buffer[n], '\0');

  n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(SplitList(buffer, n), (std::vector<std::string>{"first", "Second", "first"}));

  // Cut lists end in two NULs and return size - 2.
  n = GetPrivateProfileStringA("first", nullptr, "", buffer, 8, path.c_str());
  EXPECT_EQ(n, 6u);
  EXPECT_EQ(std::string(buffer, 8), std::string("alpha\0\0\0", 8));
  n = GetPrivateProfileStringA("first", nullptr, "", buffer, 9, path.c_str());
  EXPECT_EQ(n, 7u);
  EXPECT_EQ(std::string(buffer, 9), std::string("alpha\0b\0\0", 9));
  // The first name fills the buffer up to its last byte: the next one has no room at all.
  std::memset(buffer, '#', sizeof buffer);
  n = GetPrivateProfileStringA("first", nullptr, "", buffer, 7, path.c_str());
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(std::string(buffer, 8), std::string("alpha\0\0#", 8));

  // "alpha\0beta\0" and its closing NUL fill 12 bytes exactly: not cut. One byte less cuts.
  n = GetPrivateProfileStringA("first", nullptr, "", buffer, 12, path.c_str());
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(std::string(buffer, 12), std::string("alpha\0beta\0\0", 12));
  n = GetPrivateProfileStringA("first", nullptr, "", buffer, 11, path.c_str());
  EXPECT_EQ(n, 9u);
  EXPECT_EQ(std::string(buffer, 11), std::string("alpha\0bet\0\0", 11));

  n = GetPrivateProfileStringA("nosuch", nullptr, "dflt", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(buffer[0], '\0');
}

TEST_F(ProfileRead, SectionCopiesKeyLinesWithoutComments) {
  const std::string path = Ini("[FW_INFO1]\r\n; comment\r\nFile = fw.bin \r\n\r\nModel=M07\r\n");
  char buffer[64];
  uint32_t n = GetPrivateProfileSectionA("fw_info1", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(std::string(buffer, n + 1), std::string("File=fw.bin\0Model=M07\0\0", n + 1));
  EXPECT_EQ(n, 22u);

  n = GetPrivateProfileSectionA("FW_INFO1", buffer, 10, path.c_str());
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(std::string(buffer, 10), std::string("File=fw.\0\0", 10));

  EXPECT_EQ(GetPrivateProfileSectionA("FW_INFO2", buffer, sizeof buffer, path.c_str()), 0u);
  const std::string onlyComments = dir_.Write("c.ini", "[FW_INFO1]\n;File=x\n\n[x]\n");
  EXPECT_EQ(GetPrivateProfileSectionA("FW_INFO1", buffer, sizeof buffer, onlyComments.c_str()), 0u);
}

TEST_F(ProfileRead, HeadersNeedBothBracketsAndKeysNeedAnEqualsSign) {
  const std::string path =
      Ini("[ FW_INFO1 ]\n"
          "Model=M07\n"
          "[broken header\n"
          "File=fw.bin\n"
          "JustAWord\n"
          "  ; Hidden=1\n"
          "[FW_INFO2]\n"
          "Flag\n");
  EXPECT_EQ(Get("FW_INFO1", "Model", "", path), "M07") << "blanks inside brackets";
  EXPECT_EQ(Get("FW_INFO1", "File", "", path), "fw.bin") << "an unclosed [ opens no section";
  EXPECT_EQ(Get("broken header", "File", "none", path), "none");
  EXPECT_EQ(Get("FW_INFO1", "JustAWord", "dflt", path), "dflt");
  EXPECT_EQ(Get("FW_INFO1", "; Hidden", "dflt", path), "1") << "a comment line's text finds it";
  EXPECT_EQ(GetPrivateProfileIntA("FW_INFO2", "Flag", 7, path.c_str()), 7u);

  char buffer[64];
  const uint32_t n =
      GetPrivateProfileStringA("FW_INFO1", nullptr, "", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(SplitList(buffer, n), (std::vector<std::string>{"Model", "File"}));
}

TEST_F(ProfileRead, HeaderNameRunsToTheLastBracketAndLookupNamesAreTrimmed) {
  const std::string path = Ini("[x]y]\nk=1\n[trail] junk\nk=2\n[ spaced ]\n k =3\n");
  EXPECT_EQ(Get("x]y", "k", "", path), "1");
  EXPECT_EQ(Get("x", "k", "none", path), "none");
  EXPECT_EQ(Get("trail", "k", "", path), "2");
  EXPECT_EQ(Get(" spaced ", " k ", "", path), "3");
  EXPECT_EQ(GetPrivateProfileIntA("\tspaced ", "k ", 0, path.c_str()), 3u);
  char buffer[64];
  uint32_t n = GetPrivateProfileSectionA("trail", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(std::string(buffer, n + 1), std::string("k=2\0\0", 5));
  // Listed, a section asked with blanks around its name is not found.
  n = GetPrivateProfileSectionA(" trail ", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(std::string(buffer, n + 2), std::string("\0\0", 2));
  n = GetPrivateProfileStringA(" trail ", nullptr, "", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(n, 0u);
}

TEST_F(ProfileRead, KeysBeforeTheFirstHeaderAreTheEmptyNamedSection) {
  const std::string path = Ini("top=1\n; note\nbare\n[]\nhidden=2\n[a]\nk=v\n");
  EXPECT_EQ(Get("", "top", "", path), "1");
  EXPECT_EQ(Get("  ", "top", "", path), "1");
  EXPECT_EQ(Get("", "hidden", "dflt", path), "dflt") << "a [] header is never reached";
  EXPECT_EQ(GetPrivateProfileIntA("", "top", 0, path.c_str()), 1u);
  char buffer[64];
  uint32_t n = GetPrivateProfileStringA("", nullptr, "", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(SplitList(buffer, n), (std::vector<std::string>{"top"}));
  n = GetPrivateProfileSectionA("", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(std::string(buffer, n + 1), std::string("top=1\0bare\0\0", 12));
  n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(SplitList(buffer, n), (std::vector<std::string>{"a"})) << "no empty name listed";
}

TEST_F(ProfileRead, ListingsTakeTheLinesAsWindowsReadsThem) {
  const std::string path =
      Ini("[s]\n"
          "key = value \n"
          "  justkey  \n"
          "=novalkey\n"
          "; comment=1\n"
          "\n"
          "x\n"
          "[broken\n");
  char buffer[64];
  uint32_t n = GetPrivateProfileStringA("s", nullptr, "", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(SplitList(buffer, n), (std::vector<std::string>{"key", ""}))
      << "lines holding '=' only, an empty name included";
  EXPECT_EQ(Get("s", "justkey", "dflt", path), "dflt") << "a line without '=' is no key";
  const std::string nameless = dir_.Write("f.ini", "[s]\n=first\nkey=v\n");
  EXPECT_EQ(GetPrivateProfileStringA("s", nullptr, "", buffer, sizeof buffer, nameless.c_str()), 0u)
      << "a nameless first key ends the list where it begins";

  n = GetPrivateProfileSectionA("s", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(SplitList(buffer, n),
            (std::vector<std::string>{"key=value", "justkey", "=novalkey", "x", "[broken"}));
  EXPECT_EQ(buffer[n], '\0');

  // A missing section, and one with nothing but comments: 0 and two zero bytes.
  const std::string empty = dir_.Write("e.ini", "[c]\n;k=v\n\n[d]\n");
  for (const char* section : {"c", "nosuch"}) {
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetPrivateProfileSectionA(section, buffer, sizeof buffer, empty.c_str()), 0u);
    EXPECT_EQ(std::string(buffer, 3), std::string("\0\0#", 3)) << section;
  }

  // Section names that do not fit: size - 2, the last name cut, two zero bytes.
  const std::string names = dir_.Write("n.ini", "[alpha]\n[beta]\n");
  std::memset(buffer, '#', sizeof buffer);
  n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, 10, names.c_str());
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(std::string(buffer, 11), std::string("alpha\0be\0\0#", 11));
}

TEST_F(ProfileRead, EmptyHeaderIsNeverReachedAndEmptyKeyListsAreOneNul) {
  const std::string path = Ini("[]\nk=v\n[empty]\n; only a note\n");
  EXPECT_EQ(Get("", "k", "dflt", path), "dflt");
  EXPECT_EQ(GetPrivateProfileIntA("", "k", 3, path.c_str()), 3u);
  char buffer[8];
  EXPECT_EQ(GetPrivateProfileSectionA("", buffer, sizeof buffer, path.c_str()), 0u);

  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("empty", nullptr, "", buffer, sizeof buffer, path.c_str()),
            0u);
  EXPECT_EQ(std::string(buffer, 2), std::string("\0#", 2)) << "exactly one zero byte";
}

TEST_F(ProfileRead, IntegersReadSignDigitsAndHex) {
  const std::string path = Ini(
      "[n]\nplain=25\nblank=  7\nneg=-2\nplus=+3\nhex=0x1F\nlowhex=0xaf\nupper=0XfF\ntrail=12abc\n"
      "word=abc\nempty=\nquoted=\"42\"\nbig=4294967295\n");
  auto Int = [&](const char* key, int32_t def = 99) {
    return GetPrivateProfileIntA("n", key, def, path.c_str());
  };
  EXPECT_EQ(Int("plain"), 25u);
  EXPECT_EQ(Int("blank"), 7u);
  EXPECT_EQ(Int("neg"), 0xFFFFFFFEu);
  EXPECT_EQ(Int("plus"), 3u);
  EXPECT_EQ(Int("hex"), 31u);
  EXPECT_EQ(Int("lowhex"), 0xAFu) << "lower-case hex digits, 'a' included";
  EXPECT_EQ(Int("upper"), 0u) << "only a lower-case 0x reads hexadecimal";
  EXPECT_EQ(Int("trail"), 12u);
  EXPECT_EQ(Int("word"), 0u);
  EXPECT_EQ(Int("empty", 20), 20u);
  EXPECT_EQ(Int("missing", -1), 0xFFFFFFFFu);
  EXPECT_EQ(Int("quoted"), 42u);
  EXPECT_EQ(Int("big"), 0xFFFFFFFFu);
  EXPECT_EQ(GetPrivateProfileIntA("n", "plain", 5, dir_.File("none.ini").c_str()), 5u);
}

}  // namespace
}  // namespace kiln::platform
