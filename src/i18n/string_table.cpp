#include "i18n/string_table.h"

namespace kiln::i18n {

namespace {

constexpr const char* kDownloadAgain = "Please download the file again.";
constexpr const char* kRestartAndRunAgain =
    "Please restart the printer and then run this program again.";
constexpr const char* kNeedsMinutes = "This needs some minutes. Please wait.";

constexpr StringResource Keyed(TextKey key, const char* text) {
  return {key.resource, key.key, text};
}

constexpr StringResource kStrings[] = {
    Keyed(keys::kNoIniFile1, "Can't find Kiln.ini!"),
    Keyed(keys::kNoIniFile2, kDownloadAgain),
    Keyed(keys::kNoFwFile1, "Can't open firmware bin file!"),
    Keyed(keys::kNoFwFile2, kDownloadAgain),
    Keyed(keys::kNotValidFwFile1, "The file is not valid firmware file!"),
    Keyed(keys::kNotValidFwFile2, kDownloadAgain),
    Keyed(keys::kNoDriver1, "There is no printer driver installed!"),
    Keyed(keys::kNoDriver2,
          "Please install correct printer driver first before you run this program."),
    Keyed(keys::kDisconnected1, "Printer is not connected!"),
    Keyed(keys::kDisconnected2, "Please plug in the printer to continue."),
    Keyed(keys::kReady, "Ready to work. Press START to go!"),
    Keyed(keys::kReady2, "Notice! Don't plug out USB until finish updating firmware."),
    Keyed(keys::kWritingFlash1, "Writing firmware...."),
    Keyed(keys::kWritingFlash2, kNeedsMinutes),
    Keyed(keys::kWriteFlashDone, "Write firmware done!"),
    Keyed(keys::kWriteFlashFail1, "Write firmware fail!"),
    Keyed(keys::kWriteFlashFail2, kRestartAndRunAgain),
    Keyed(keys::kWritingFlashCpu1, "Writing CPU firmware...."),
    Keyed(keys::kWritingFlashCpu2, kNeedsMinutes),
    Keyed(keys::kWriteFlashCpuDone, "Write flash CPU code done!"),
    Keyed(keys::kWriteFlashCpuFail1, "Write flash CPU code fail!"),
    Keyed(keys::kWriteFlashCpuFail2, kRestartAndRunAgain),
    Keyed(keys::kWaitBeforeWriteFlash, "Waiting to write formal FW code..."),
    {kAboutMenuResource, nullptr, "&About Kiln..."},
    Keyed(keys::kCanNotDowngrade,
          "The firmware on device is newer than this version, you can not downgrade the firmware."),
    Keyed(keys::kSendFwDataDone1, "The firmware data is sent to printer."),
    Keyed(keys::kSendFwDataDone2, "Please wait until the printer doing reset."),
    Keyed(keys::kSendFwDataDone3, "This program will exit now."),
    Keyed(keys::kWriteFlashFailCause, "Cause:"),
    Keyed(keys::kPrinterUnreachable,
          "Printer seen on USB but not reachable: unplug it and plug it in again, or close the "
          "program that uses it."),
};

}  // namespace

std::span<const StringResource> StringTable() {
  return kStrings;
}

const char* LoadStringResource(uint32_t id) {
  for (const StringResource& entry : kStrings) {
    if (entry.id == id) return entry.text;
  }
  return "";
}

}  // namespace kiln::i18n
