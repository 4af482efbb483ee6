#pragma once

#include <cstdint>
#include <span>

// The built-in English texts: the string resources, by number, and the language keys
// that replace them. A language section of Kiln.ini overrides a text under its key;
// the resource is the default when the section has no value.
namespace kiln::i18n {

struct StringResource {
  uint32_t id;
  const char* key;  // nullptr for a resource no language key replaces
  const char* text;
};

// A language key with the resource that supplies its English default.
struct TextKey {
  const char* key;
  uint32_t resource;
};

namespace keys {
inline constexpr TextKey kNoIniFile1{"NoIniFile1", 1};
inline constexpr TextKey kNoIniFile2{"NoIniFile2", 2};
inline constexpr TextKey kNoFwFile1{"NoFwFile1", 3};
inline constexpr TextKey kNoFwFile2{"NoFwFile2", 4};
inline constexpr TextKey kNotValidFwFile1{"NotValidFwFile1", 5};
inline constexpr TextKey kNotValidFwFile2{"NotValidFwFile2", 6};
inline constexpr TextKey kNoDriver1{"NoDriver1", 7};
inline constexpr TextKey kNoDriver2{"NoDriver2", 8};
inline constexpr TextKey kDisconnected1{"Disconnected1", 9};
inline constexpr TextKey kDisconnected2{"Disconnected2", 10};
inline constexpr TextKey kReady{"Ready", 11};
inline constexpr TextKey kReady2{"Ready2", 12};
inline constexpr TextKey kWritingFlash1{"WritingFlash1", 13};
inline constexpr TextKey kWritingFlash2{"WritingFlash2", 14};
inline constexpr TextKey kWriteFlashDone{"WriteFlashDone", 15};
inline constexpr TextKey kWriteFlashFail1{"WriteFlashFail1", 16};
inline constexpr TextKey kWriteFlashFail2{"WriteFlashFail2", 17};
inline constexpr TextKey kWritingFlashCpu1{"WritingFlashCpu1", 18};
inline constexpr TextKey kWritingFlashCpu2{"WritingFlashCpu2", 19};
inline constexpr TextKey kWriteFlashCpuDone{"WriteFlashCpuDone", 20};
inline constexpr TextKey kWriteFlashCpuFail1{"WriteFlashCpuFail1", 21};
inline constexpr TextKey kWriteFlashCpuFail2{"WriteFlashCpuFail2", 22};
inline constexpr TextKey kWaitBeforeWriteFlash{"WaitBeforeWriteFlash", 23};
inline constexpr TextKey kCanNotDowngrade{"CanNotDowngrade", 102};
inline constexpr TextKey kSendFwDataDone1{"SendFwDataDone1", 103};
inline constexpr TextKey kSendFwDataDone2{"SendFwDataDone2", 104};
inline constexpr TextKey kSendFwDataDone3{"SendFwDataDone3", 105};
// Leads the update's own account of a failure, under the fail texts.
inline constexpr TextKey kWriteFlashFailCause{"WriteFlashFailCause", 106};
// A printer the kernel sees on USB but no printer node reaches.
inline constexpr TextKey kPrinterUnreachable{"PrinterUnreachable", 107};
}  // namespace keys

// The system-menu item that opens the About dialog ("&About Kiln...").
inline constexpr uint32_t kAboutMenuResource = 101;

// Every string resource, in resource-number order.
std::span<const StringResource> StringTable();

// The text of string resource id; empty when there is no such resource.
const char* LoadStringResource(uint32_t id);

}  // namespace kiln::i18n
