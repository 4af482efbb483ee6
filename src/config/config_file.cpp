#include "config/config_file.h"

#include <cstdint>
#include <string_view>

#include "log/debug_log.h"
#include "platform/file_probe.h"
#include "platform/ini_document.h"
#include "platform/profile.h"

namespace kiln::config {

namespace {

using platform::GetPrivateProfileIntA;
using platform::GetPrivateProfileStringA;

constexpr uint32_t kValueBuffer = 512;

// One entry section of Kiln.ini, read through the profile functions on every call.
class EntryReader {
 public:
  EntryReader(const UpdateContext& context, const char* section)
      : context_(context), section_(section) {}

  // A string key; an absent key reads as its own name.
  FixedText<kValueBuffer> Text(const char* key) const {
    FixedText<kValueBuffer> value;
    GetPrivateProfileStringA(section_, key, key, value.data(), kValueBuffer,
                             context_.iniPath.c_str());
    return value;
  }

  // True when the key holds a file name of its own (not the key name itself).
  bool HasFileKey(const char* key, FixedText<kValueBuffer>& value) const {
    value = Text(key);
    return !platform::EqualsNoCase(value.view(), key);
  }

  // baseDir + separator + the value of a file-name key.
  void ReadPath(const char* key, PathText& field) const { field = Prefixed(Text(key)); }

  PathText Prefixed(std::string_view value) const {
    PathText path = context_.baseDir.view();
    path.Append(std::string_view(&kPathSeparator, 1));
    path.Append(value);
    return path;
  }

  uint32_t Int(const char* key, int32_t defaultValue) const {
    return GetPrivateProfileIntA(section_, key, defaultValue, context_.iniPath.c_str());
  }

  // A flag is on only when its value is exactly 1.
  bool Flag(const char* key) const { return Int(key, 0) == 1; }

  // The write type sent with the start of write; one the printer does not know is 0.
  uint8_t WriteType() const {
    const uint32_t value = Int("WriteType", 0);
    if (value <= kLastWriteType) return static_cast<uint8_t>(value);
    NoteAdjusted("WriteType", Raw("WriteType"), "is not 0, 1 or 2", 0);
    return 0;
  }

  // A delay in seconds. Kiln.ini is also edited by hand: a negative value or one that is
  // no number reads as the default, one above the longest as the longest, so that no
  // value wraps into a count-down of hours or one shorter than the printer needs.
  uint16_t Delay(const char* key, uint16_t defaultValue) const {
    const FixedText<kValueBuffer> raw = Raw(key);
    std::string_view text = raw.view();
    if (text.empty()) return defaultValue;
    const bool negative = text.front() == '-';
    if (negative || text.front() == '+') text.remove_prefix(1);
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0) return NoteAdjusted(key, raw, "is no number", defaultValue);
    if (negative) return NoteAdjusted(key, raw, "is negative", defaultValue);
    // Nine digits cannot wrap the 32-bit reading; more are too many seconds anyway.
    const uint32_t value = Int(key, defaultValue);
    if (digits > 9 || value > kLongestDelaySeconds) {
      return NoteAdjusted(key, raw, "is longer than the longest delay", kLongestDelaySeconds);
    }
    return static_cast<uint16_t>(value);
  }

 private:
  // The value as written, empty when the key is absent.
  FixedText<kValueBuffer> Raw(const char* key) const {
    FixedText<kValueBuffer> value;
    GetPrivateProfileStringA(section_, key, "", value.data(), kValueBuffer,
                             context_.iniPath.c_str());
    return value;
  }

  // Notes in the debug trace that a value was read as another, and returns that one.
  uint16_t NoteAdjusted(const char* key, const FixedText<kValueBuffer>& raw, const char* why,
                        uint32_t used) const {
    log::DebugLog trace;
    if (trace.OpenFromEnvironment()) {
      trace.LogPrint(1, "Kiln.ini [%s] %s=%s %s: %u is used\n", section_, key, raw.c_str(), why,
                     used);
    }
    return static_cast<uint16_t>(used);
  }

  const UpdateContext& context_;
  const char* section_;
};

bool SectionHasKeyLines(const char* section, const char* iniPath) {
  char buffer[kValueBuffer];
  return platform::GetPrivateProfileSectionA(section, buffer, sizeof buffer, iniPath) > 0;
}

}  // namespace

void SetProgramFolder(UpdateContext& context, const char* folder) {
  std::string_view base = folder != nullptr ? folder : "";
  while (base.size() > 1 && base.back() == kPathSeparator) base.remove_suffix(1);
  context.baseDir = base;
  context.iniPath = context.baseDir.view();
  context.iniPath.Append(std::string_view(&kPathSeparator, 1));
  context.iniPath.Append(kIniFileName);
}

FixedText<64> EntrySectionName(int index) {
  FixedText<64> name;
  name.Format("FW_INFO%d", index);
  return name;
}

bool ReadConfigSection(UpdateContext& context, int index) {
  context.firmwarePath = context.baseDir.view();
  context.firmwarePath.Append(std::string_view(&kPathSeparator, 1));

  FixedText<64> section = EntrySectionName(index);
  if (!SectionHasKeyLines(section.c_str(), context.iniPath.c_str()) && index == 1) {
    section = "FW_INFO";
  }
  const EntryReader entry(context, section.c_str());

  FixedText<kValueBuffer> value;
  if (entry.HasFileKey("OeeCodeName", value)) {
    context.altCodePath = entry.Prefixed(value);
    entry.ReadPath("OeeTableName", context.altTablePath);
    entry.ReadPath("OeeFwName", context.altFirmwarePath);
  }

  const char* packageKey = "File";
  if (entry.HasFileKey("CodeName", value)) {
    context.codePath = entry.Prefixed(value);
    entry.ReadPath("TableName", context.tablePath);
    packageKey = "FwName";
  }
  context.firmwarePath.Append(entry.Text(packageKey));
  context.modelName = entry.Text("Model").view();
  context.writeType = entry.WriteType();

  if (!platform::FileExists(context.firmwarePath.c_str())) return false;

  context.cpuFirst = entry.Flag("Cpu1st");
  context.showCountdown = entry.Flag("ActInfo");
  context.noCheckPid = entry.Flag("NoCheckPid");
  context.noCheckDriver = entry.Flag("NoCheckDriver");
  context.noWaitBusyBeforeWrite = entry.Flag("NoWaitBusyBeforeWriteFW");
  context.supportModel2 = entry.Flag("SupportModel2");

  if (context.cpuFirst) {
    entry.ReadPath("CpuFile", context.cpuFirmwarePath);
    entry.ReadPath("CpuTable", context.cpuTablePath);
    entry.ReadPath("CpuFwCode", context.cpuCodePath);
  }

  context.cpuDelay = entry.Delay("Delay1", 20);
  context.firmwareDelay = entry.Delay("Delay2", 25);

  context.tableSwitch = entry.Flag("EnableTableSwitch");
  context.noDowngrade = entry.Flag("DisableOverwriteNewer");
  context.noWaitBurnOk = entry.Flag("NotWaitBurnOK");
  context.noBusyCheckAtStartup = entry.Flag("NotCheckBusyAtStartup");
  return true;
}

}  // namespace kiln::config
