// Device discovery: finding the n-th printer of a model among the device interfaces of
// the printer class, checking its VID/PID, and opening its pipes.

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "models/model_table.h"
#include "platform/ini_document.h"
#include "usb/device_enumerator.h"
#include "usb/usb_link.h"

namespace kiln::usb {

using models::kModelCount;
using models::LegacyInterfaceGuids;
using models::ModelBySerial;
using models::ModelInterfaceGuids;
using models::PrinterModel;

namespace {

constexpr uint32_t kMaxMemberIndex = 100;
constexpr uint32_t kPauseAfterOpenMs = 300;
constexpr uint32_t kNoSelection = UINT32_MAX;

bool IsLegacyModel(uint32_t serial) {
  return serial == 1 || serial == 2;
}

uint32_t VidPidOfModel(uint32_t serial) {
  const PrinterModel* model = ModelBySerial(serial);
  return model != nullptr ? model->vidPid : 0;
}

// "USB\VID_%04X&PID_%04X" for a VID/PID filter.
FixedText<64> InstancePrefix(uint32_t vidPid) {
  FixedText<64> prefix;
  prefix.Format("USB\\VID_%04X&PID_%04X", vidPid >> 16, vidPid & 0xFFFF);
  return prefix;
}

// Whether the instance ID (as far as 260 characters hold it) begins with the prefix,
// without regard to case.
bool InstanceMatches(const DeviceInterface& entry, const FixedText<64>& prefix) {
  const FixedText<260> instanceId(std::string_view(entry.instanceId));
  return strncasecmp(instanceId.c_str(), prefix.c_str(), prefix.size()) == 0;
}

// Walks member indices 0 to 99 the way the setup API is walked: an index that fails
// with "no more items" or "invalid handle" ends the walk, other failures skip it.
// visit(index, entry) returns true to stop. Returns the error that ended the walk
// (kErrorNoMoreItems when it ran past the list), 0 when visit stopped it.
template <typename Visit>
uint32_t WalkInterfaces(const std::vector<DeviceInterface>& list, Visit visit) {
  for (uint32_t index = 0; index < kMaxMemberIndex; ++index) {
    const uint32_t error = index < list.size() ? list[index].enumError : kErrorNoMoreItems;
    if (error == kErrorNoMoreItems || error == kErrorInvalidHandle) return error;
    if (error != 0) continue;
    if (visit(index, list[index])) return 0;
  }
  return kErrorNoMoreItems;
}

// The hex number that starts 4 characters after the first occurrence of key ("vid",
// "pid") in a lower-case instance ID.
bool HexAfter(const char* lowered, const char* key, uint32_t* value) {
  const char* found = std::strstr(lowered, key);
  if (found == nullptr || std::strlen(found) < 4) return false;
  *value = static_cast<uint32_t>(std::strtoul(found + 4, nullptr, 16));
  return true;
}

// Where the printer is plugged in, which survives its restart; its node otherwise.
std::string IdentityOf(const DeviceInterface& entry) {
  return entry.location.empty() ? entry.devicePath : entry.location;
}

}  // namespace

// The class device lists one open reads: each class is listed the first time it is asked
// for and kept for the rest of the open, so that counting the printers and selecting one
// see the same devices, and listing (which reads sysfs for every printer) is paid once.
class ClassListings {
 public:
  explicit ClassListings(DeviceEnumerator& devices) : devices_(devices) {}

  const std::vector<DeviceInterface>& Of(const char* guidText, uint32_t enumMode) {
    const uint32_t flags = (enumMode & 0xFF) | kDigcfDeviceInterface;
    auto [entry, added] = lists_.try_emplace({guidText, flags});
    Guid guid;
    if (added && ParseGuid(guidText, &guid)) entry->second = devices_.ClassDevices(guid, flags);
    return entry->second;
  }

 private:
  DeviceEnumerator& devices_;
  std::map<std::pair<std::string, uint32_t>, std::vector<DeviceInterface>> lists_;
};

OpenResult CUsbLink::OpenIOChannel(uint32_t modelSerial, uint32_t instanceIndex, uint32_t enumMode,
                                   uint8_t pipeMask) {
  ClassListings listings(*services_.devices);
  return OpenFrom(listings, modelSerial, instanceIndex, enumMode, pipeMask);
}

OpenResult CUsbLink::OpenFrom(ClassListings& listings, uint32_t modelSerial, uint32_t instanceIndex,
                              uint32_t enumMode, uint8_t pipeMask) {
  if (modelSerial == 0 || modelSerial > kModelCount) return kOpenNoDevice;
  m_dwEnumMode = enumMode;
  pipeMask_ = pipeMask;
  m_dwModelSN = modelSerial;
  m_dwInstIndex = instanceIndex;
  interfaceGuid_ = ModelInterfaceGuids[modelSerial];
  CloseIOChannel();

  OpenResult code = OpeningAttempt(listings);
  if (code != kOpenOk && osVersion_ < platform::kOsWin2000 && IsLegacyModel(modelSerial)) {
    // The first-generation drivers of models 1 and 2 registered another class.
    interfaceGuid_ = LegacyInterfaceGuids[modelSerial];
    CloseIOChannel();
    code = OpeningAttempt(listings);
  }
  if (code != kOpenOk) return code;
  services_.clock->Sleep(kPauseAfterOpenMs);
  (void)SetIORight();  // a right that cannot be set up leaves transactions unguarded
  return kOpenOk;
}

OpenResult CUsbLink::OpeningAttempt(ClassListings& listings) {
  const char* guid =
      osVersion_ >= platform::kOsWin2000 ? kUsbPrinterClassGuid : interfaceGuid_.c_str();
  const auto dwDevNum =
      static_cast<uint32_t>(ModelInterfaces(listings, m_dwModelSN, m_dwEnumMode).size());
  log_.LogPrint(
      2,
      "In OpenIOChannel, m_dwModelSN = %d, m_dwInstIndex = %d, m_dwEnumMode = %d, dwDevNum = %d\n",
      m_dwModelSN, m_dwInstIndex, m_dwEnumMode, dwDevNum);
  if (dwDevNum == 0) return kOpenNoDevice;
  if (osVersion_ < platform::kOsWin2000 && dwDevNum < m_dwInstIndex) return kOpenNoDevice;
  const uint32_t filter = (m_dwEnumMode & kEnumByVidPid) != 0 ? VidPidOfModel(m_dwModelSN) : 0;
  FindDevice(listings, guid, m_dwInstIndex - 1, m_dwEnumMode, filter);
  return devicePresent_ != 0 ? OpenPipes() : kOpenNotActive;
}

uint32_t CUsbLink::CountDevices(uint32_t modelSerial, uint32_t enumMode) {
  ClassListings listings(*services_.devices);
  return static_cast<uint32_t>(ModelInterfaces(listings, modelSerial, enumMode).size());
}

std::vector<std::string> CUsbLink::PrinterIdentities(uint32_t modelSerial) {
  ClassListings listings(*services_.devices);
  std::vector<std::string> identities;
  for (const DeviceInterface& entry : ModelInterfaces(listings, modelSerial, kEnumDefault)) {
    identities.push_back(IdentityOf(entry));
  }
  return identities;
}

OpenResult CUsbLink::OpenIOChannelTo(uint32_t modelSerial, const std::string& identity) {
  ClassListings listings(*services_.devices);
  const std::vector<DeviceInterface> present = ModelInterfaces(listings, modelSerial, kEnumDefault);
  const auto found = std::find_if(present.begin(), present.end(),
                                  [&](const auto& entry) { return IdentityOf(entry) == identity; });
  if (found == present.end()) {
    CloseIOChannel();
    return kOpenNoDevice;
  }
  // The open selects from the same listing, so the printer opened is the one found here,
  // however the list has changed since.
  const auto instance = static_cast<uint32_t>(found - present.begin()) + 1;
  return OpenFrom(listings, modelSerial, instance, kEnumDefault, kPipeRead | kPipeWrite);
}

// The interfaces that count as the model's printers, in enumeration order.
std::vector<DeviceInterface> CUsbLink::ModelInterfaces(ClassListings& listings,
                                                       uint32_t modelSerial, uint32_t enumMode) {
  if (modelSerial == 0 || modelSerial > kModelCount) return {};
  const bool standardClass = osVersion_ >= platform::kOsWin2000;
  const uint32_t filter = (enumMode & kEnumByVidPid) != 0 ? VidPidOfModel(modelSerial) : 0;
  std::vector<DeviceInterface> found = MatchingInterfaces(
      listings, standardClass ? kUsbPrinterClassGuid : ModelInterfaceGuids[modelSerial], enumMode,
      filter);
  if (found.empty() && !standardClass && IsLegacyModel(modelSerial)) {
    found = MatchingInterfaces(listings, LegacyInterfaceGuids[modelSerial], enumMode, filter);
  }
  return found;
}

std::vector<DeviceInterface> CUsbLink::MatchingInterfaces(ClassListings& listings,
                                                          const char* guidText, uint32_t enumMode,
                                                          uint32_t vidPidFilter) {
  const FixedText<64> prefix = InstancePrefix(vidPidFilter);
  const std::vector<DeviceInterface>& list = listings.Of(guidText, enumMode);
  std::vector<DeviceInterface> matching;
  WalkInterfaces(list, [&](uint32_t, const DeviceInterface& entry) {
    // Without the VID/PID filter every interface counts; with it, only those whose
    // instance ID carries the model's VID/PID.
    const bool filtered = (enumMode & kEnumByVidPid) != 0;
    if (!filtered || (vidPidFilter != 0 && InstanceMatches(entry, prefix))) {
      matching.push_back(entry);
    }
    return false;
  });
  return matching;
}

uint32_t CUsbLink::FindDevice(ClassListings& listings, const char* guidText, uint32_t wanted,
                              uint32_t enumMode, uint32_t vidPidFilter) {
  const FixedText<64> prefix = InstancePrefix(vidPidFilter);
  const std::vector<DeviceInterface>& list = listings.Of(guidText, enumMode);
  uint32_t selected = kNoSelection;
  uint32_t error = 0;

  if ((enumMode & kEnumByVidPid) != 0 && vidPidFilter != 0) {
    uint32_t matches = 0;
    error = WalkInterfaces(list, [&](uint32_t index, const DeviceInterface& entry) {
      if (!InstanceMatches(entry, prefix)) return false;
      if (matches++ != wanted) return false;
      selected = index;
      return true;
    });
  } else if ((enumMode & kEnumByPort) != 0) {
    const uint32_t modelVidPid = VidPidOfModel(m_dwModelSN);
    error = WalkInterfaces(list, [&](uint32_t index, const DeviceInterface& entry) {
      bool matches = false;
      if (osVersion_ == platform::kOsWin2000) {
        matches = entry.vidPidValue && *entry.vidPidValue == modelVidPid;
      } else if (osVersion_ >= platform::kOsWinXp) {
        // The value is read into a 260-byte buffer.
        matches =
            entry.baseName &&
            platform::EqualsNoCase(FixedText<260>(std::string_view(*entry.baseName)).view(), "USB");
      }
      if (!matches || !entry.portNumber || *entry.portNumber != wanted + 1) return false;
      selected = index;
      return true;
    });
  } else {
    selected = wanted;
  }

  if (selected != kNoSelection) {
    const uint32_t selectError =
        selected < list.size() ? list[selected].enumError : kErrorNoMoreItems;
    if (selectError != 0) {
      error = selectError;
      selected = kNoSelection;
    }
  }
  if (selected == kNoSelection) {
    if (error == 0) error = kErrorNoMoreItems;
    devicePath_.Clear();
    identity_.clear();
    instanceId_.clear();
    devicePresent_ = 0;
    return error;
  }

  const DeviceInterface& entry = list[selected];
  devicePresent_ = entry.active ? 1 : 0;
  devicePath_ = entry.devicePath;
  identity_ = IdentityOf(entry);
  instanceId_ = entry.instanceId;
  CorrectModelFromInstanceId(FixedText<260>(std::string_view(entry.instanceId)).c_str());
  return 0;
}

// A printer found without the VID/PID filter may be another model than the one asked
// for; the instance ID tells which, and the protocol then speaks to that model.
void CUsbLink::CorrectModelFromInstanceId(const char* instanceId) {
  FixedText<260> lowered = instanceId;
  for (char* c = lowered.data(); *c != '\0'; ++c) {
    *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  }
  uint32_t vid = 0;
  uint32_t pid = 0;
  if (!HexAfter(lowered.c_str(), "vid", &vid) || !HexAfter(lowered.c_str(), "pid", &pid)) return;
  const uint32_t vidPid = (vid << 16) | (pid & 0xFFFF);
  if (vidPid == VidPidOfModel(m_dwModelSN)) return;
  const uint32_t corrected = models::ModelSerialFromVidPid(vidPid);
  if (corrected != 0) m_dwModelSN = corrected;
}

}  // namespace kiln::usb
