#include "config/config_file.h"

#include <string_view>

namespace kiln::config {

namespace {

// Hands each field of the context that a model entry fills to visit, with the entry's
// field beside it.
template <typename Context, typename Entry, typename Visit>
void PairEntryFields(Context& context, Entry& entry, Visit visit) {
  visit(context.firmwarePath, entry.firmware);
  visit(context.codePath, entry.code);
  visit(context.tablePath, entry.table);
  visit(context.altFirmwarePath, entry.altFirmware);
  visit(context.altCodePath, entry.altCode);
  visit(context.altTablePath, entry.altTable);
  visit(context.modelName, entry.modelName);
  visit(context.writeType, entry.writeType);
  visit(context.cpuFirst, entry.cpuFirst);
  visit(context.showCountdown, entry.showCountdown);
  visit(context.noCheckPid, entry.noCheckPid);
  visit(context.noCheckDriver, entry.noCheckDriver);
  visit(context.noWaitBusyBeforeWrite, entry.noWaitBusyBeforeWrite);
  visit(context.supportModel2, entry.supportModel2);
  visit(context.cpuFirmwarePath, entry.cpuFirmware);
  visit(context.cpuTablePath, entry.cpuTable);
  visit(context.cpuCodePath, entry.cpuCode);
  visit(context.cpuDelay, entry.cpuDelay);
  visit(context.firmwareDelay, entry.firmwareDelay);
  visit(context.tableSwitch, entry.tableSwitch);
  visit(context.noDowngrade, entry.noDowngrade);
  visit(context.noWaitBurnOk, entry.noWaitBurnOk);
  visit(context.noBusyCheckAtStartup, entry.noBusyCheckAtStartup);
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

ConfigFolder ConfigFolderOf(const UpdateContext& context) {
  return ConfigFolder{std::string(context.baseDir.view()), std::string(context.iniPath.view())};
}

bool ReadConfigSection(UpdateContext& context, int index) {
  ModelEntry previous;
  PairEntryFields(context, previous, [](const auto& field, auto& value) { value = field; });
  const ModelEntry entry = ReadModelEntry(ConfigFolderOf(context), index, previous);
  // The context's fixed fields cut what does not fit, as they always have.
  PairEntryFields(context, entry, [](auto& field, const auto& value) { field = value; });
  return entry.packageFound;
}

}  // namespace kiln::config
