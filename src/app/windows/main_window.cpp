#include "app/windows/main_window.h"

#include <commctrl.h>
#include <dbt.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "app/colour_mode.h"
#include "app/windows/dialogs/retext_window.h"
#include "app/windows/dialogs/tool_dialogs.h"
#include "i18n/string_table.h"
#include "platform/stop_signals.h"
#include "platform/windows/wide_text.h"

namespace kiln::app::windows {

namespace {

// Posted to the window: run what other threads queued; look at Kiln.ini and the printer
// once the window is on screen; a stop was requested; fit the status to a new scale.
constexpr UINT kRunTasks = WM_APP + 1;
constexpr UINT kInitialise = WM_APP + 2;
constexpr UINT kStopRequested = WM_APP + 3;
constexpr UINT kFitStatus = WM_APP + 4;

// The USB printer device-interface class.
constexpr GUID kUsbPrinterInterface = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

HINSTANCE Module() {
  return ::GetModuleHandleW(nullptr);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* session = reinterpret_cast<const AppSession*>(lParam);
    RetextWindow(dialog, session->language, session->languageTag.view());
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    ::EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

MainWindow::MainWindow(AppSession& session, WindowOptions options)
    : session_(session), options_(std::move(options)), tasks_([this] {
        if (HWND target = wakeTarget_.load()) ::PostMessageW(target, kRunTasks, 0, 0);
      }) {
  controller_ = std::make_unique<MainWindowController>(session_, *this, options_.services);
  controller_->SetMaintenanceDialogs(
      {[this](int entry) { return RunAdvancedSettingsDialog(dialog_, session_.folder, entry); },
       [this] { return RunSettingDialog(dialog_, session_.folder); }});
}

MainWindow::~MainWindow() {
  // The worker may still wait for this thread: serve it until its end has been handled.
  // An evaluation still running stops after its transfer under way.
  controller_->StopEvaluation();
  while (controller_->WorkerRunning() || controller_->Evaluating()) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    tasks_.RunQueued();
  }
  tasks_.Close();
  controller_.reset();
  if (icon_ != nullptr) ::DestroyIcon(icon_);
  if (smallIcon_ != nullptr) ::DestroyIcon(smallIcon_);
}

void MainWindow::Run(const std::string& programFolder) {
  programFolder_ = programFolder;
  ::DialogBoxParamW(Module(), MAKEINTRESOURCEW(IDD_KILN_DIALOG), nullptr, &MainWindow::DialogProc,
                    reinterpret_cast<LPARAM>(this));
  wakeTarget_ = nullptr;
  dialog_ = nullptr;
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* window = reinterpret_cast<MainWindow*>(lParam);
    window->dialog_ = dialog;
    window->OnInitDialog();
    return TRUE;
  }
  auto* window = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (window == nullptr) return FALSE;
  return window->Handle(message, wParam, lParam);
}

void MainWindow::OnInitDialog() {
  const char* about = i18n::LoadStringResource(IDS_ABOUTBOX);
  if (HMENU menu = ::GetSystemMenu(dialog_, FALSE); menu != nullptr && *about != '\0') {
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, platform::windows::Wide(about).c_str());
  }
  icon_ = static_cast<HICON>(::LoadImageW(Module(), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                          ::GetSystemMetrics(SM_CXICON),
                                          ::GetSystemMetrics(SM_CYICON), 0));
  smallIcon_ = static_cast<HICON>(::LoadImageW(Module(), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                               IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                               ::GetSystemMetrics(SM_CYSMICON), 0));
  ::SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
  // The status's frame: the group box around the status.
  RECT status;
  ::GetWindowRect(::GetDlgItem(dialog_, IDC_STATUS), &status);
  for (HWND child = ::GetWindow(dialog_, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    RECT rect;
    ::GetWindowRect(child, &rect);
    wchar_t kind[16] = {};
    ::GetClassNameW(child, kind, 16);
    if (::lstrcmpiW(kind, WC_BUTTONW) == 0 &&
        (::GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX &&
        rect.top < status.top && rect.bottom > status.bottom) {
      statusFrame_ = child;
    }
  }
  wakeTarget_ = dialog_;
  // Work queued before the window existed, and a stop that came meanwhile.
  ::PostMessageW(dialog_, kRunTasks, 0, 0);
  platform::WhenStopRequested([target = dialog_] { ::PostMessageW(target, kStopRequested, 0, 0); });
  // The window shows first; Kiln.ini and the printer are looked at once it is on screen,
  // so a slow printer delays the status, not the window.
  ::PostMessageW(dialog_, kInitialise, 0, 0);
}

void MainWindow::Initialise() {
  initialised_ = true;
  const bool found = LocateConfig(session_, programFolder_);
  if (found) {
    if (!options_.languageTag.empty()) {
      session_.languageTag.Assign(options_.languageTag);
      session_.language.SetSection(session_.languageTag.c_str());
    }
    RetextWindow(dialog_, session_.language, session_.languageTag.view());
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kUsbPrinterInterface;
    // Without the registration the window works; it only does not follow printers.
    deviceNotification_ =
        ::RegisterDeviceNotificationW(dialog_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  }
  controller_->Initialise(found);
}

INT_PTR MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRunTasks:
      tasks_.RunQueued();
      return TRUE;
    case kInitialise:
      Initialise();
      return TRUE;
    case kStopRequested:
      OnStopRequested();
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != FALSE) OnStopRequested();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      RequestExit();
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        ShowAbout();
        return TRUE;
      }
      return FALSE;
    case WM_LBUTTONDOWN:
      controller_->OnLeftClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam),
                               (wParam & MK_CONTROL) != 0, (wParam & MK_SHIFT) != 0);
      return FALSE;
    case WM_PAINT:
      if (!::IsIconic(dialog_)) return FALSE;
      PaintMinimised();
      return TRUE;
    case WM_DPICHANGED:
      // The dialog manager scales the window and its controls; the status fits after.
      ::PostMessageW(dialog_, kFitStatus, 0, 0);
      return FALSE;
    case kFitStatus:
      FitStatus();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_DEVICECHANGE: {
      const DeviceChange change = wParam == DBT_DEVICEARRIVAL ? DeviceChange::kArrival
                                  : wParam == DBT_DEVICEREMOVECOMPLETE
                                      ? DeviceChange::kRemovalComplete
                                      : DeviceChange::kOther;
      controller_->OnDeviceChange(change);
      ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
    case kDownloadNotification:
      controller_->OnDownloadNotification(static_cast<uint32_t>(wParam),
                                          static_cast<uint32_t>(lParam));
      return FALSE;
    default:
      return FALSE;
  }
}

void MainWindow::OnCommand(int id, int code) {
  switch (id) {
    case IDOK:
      // Enter reaches here too; it starts only what the START button would.
      if (::IsWindowEnabled(::GetDlgItem(dialog_, IDOK))) controller_->OnStart();
      break;
    case IDCANCEL:
      RequestExit();
      break;
    case IDC_CURRENT_VERSION_LABEL:
      if (code == STN_CLICKED) controller_->OnCurrentVersionClicked();
      break;
    case IDC_CHANGE_COLOR_MODE:
      if (code == BN_CLICKED) ChangeColourMode();
      break;
    default:
      break;
  }
}

void MainWindow::RequestExit() {
  if (!controller_->OnExit()) return;
  CloseNow();
}

void MainWindow::CloseNow() {
  if (deviceNotification_ != nullptr) {
    ::UnregisterDeviceNotification(deviceNotification_);
    deviceNotification_ = nullptr;
  }
  ::EndDialog(dialog_, IDCANCEL);
}

void MainWindow::OnStopRequested() {
  if (controller_->OnStopRequested()) CloseNow();
}

void MainWindow::ShowAbout() {
  ::DialogBoxParamW(Module(), MAKEINTRESOURCEW(IDD_ABOUTBOX), dialog_, &AboutProc,
                    reinterpret_cast<LPARAM>(&session_));
}

void MainWindow::ChangeColourMode() {
  controller_->ChangeColourMode([this](int entry) {
    PrinterQueries queries = controller_->Queries();
    return app::ChangeColourMode(session_, entry, controller_->TargetModel(),
                                 controller_->Entry().noBusyCheckAtStartup, queries,
                                 ColourModeDialogOver(dialog_));
  });
}

void MainWindow::PaintMinimised() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(dialog_, &paint);
  ::SendMessageW(dialog_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(dialog_, &client);
  const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, icon_);
  ::EndPaint(dialog_, &paint);
}

void MainWindow::SetText(int id, const char* bytes) {
  ::SetWindowTextW(
      ::GetDlgItem(dialog_, id),
      LanguageWide(bytes != nullptr ? bytes : "", session_.languageTag.view()).c_str());
}

void MainWindow::ShowStatus(const char* text) {
  SetText(IDC_STATUS, text);
  FitStatus();
}

namespace {

// Template 102's places, in dialog units: the window's client area, the status, its
// frame and the two controls below it.
constexpr RECT kClientUnits{0, 0, 223, 165};
constexpr RECT kStatusUnits{13, 80, 13 + 148, 80 + 38};
constexpr RECT kStatusFrameUnits{7, 69, 7 + 158, 69 + 55};
constexpr struct {
  int id;
  RECT units;
} kBelowStatus[] = {{IDC_ANIMATION, {9, 130, 9 + 155, 130 + 28}},
                    {IDC_BELOW_ANIMATION, {168, 126, 168 + 49, 126 + 33}}};

void Place(HWND control, RECT rect, int grow, bool moveDown) {
  if (moveDown) {
    ::OffsetRect(&rect, 0, grow);
  } else {
    rect.bottom += grow;
  }
  ::SetWindowPos(control, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void MainWindow::FitStatus() {
  HWND status = ::GetDlgItem(dialog_, IDC_STATUS);
  auto pixels = [this](RECT units) {
    ::MapDialogRect(dialog_, &units);
    return units;
  };
  const RECT place = pixels(kStatusUnits);
  const int length = ::GetWindowTextLengthW(status);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  ::GetWindowTextW(status, text.data(), length + 1);
  HDC dc = ::GetDC(status);
  const HGDIOBJ font =
      ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(status, WM_GETFONT, 0, 0)));
  RECT needed{0, 0, place.right - place.left, 0};
  ::DrawTextW(dc, text.c_str(), length, &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  ::SelectObject(dc, font);
  ::ReleaseDC(status, dc);

  RECT window, client;
  ::GetWindowRect(dialog_, &window);
  ::GetClientRect(dialog_, &client);
  const int frameHeight = (window.bottom - window.top) - client.bottom;
  const int templateHeight = frameHeight + pixels(kClientUnits).bottom;
  int grow = std::max<int>(0, needed.bottom - (place.bottom - place.top));
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (::GetMonitorInfoW(::MonitorFromWindow(dialog_, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const int room = (monitor.rcWork.bottom - monitor.rcWork.top) - templateHeight;
    grow = std::min(grow, std::max(0, room));
  }
  Place(status, place, grow, false);
  if (statusFrame_ != nullptr) Place(statusFrame_, pixels(kStatusFrameUnits), grow, false);
  for (const auto& below : kBelowStatus) {
    Place(::GetDlgItem(dialog_, below.id), pixels(below.units), grow, true);
  }
  ::SetWindowPos(dialog_, nullptr, 0, 0, window.right - window.left, templateHeight + grow,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::ShowModelName(const char* text) {
  SetText(IDC_MODEL, text);
}
void MainWindow::ShowPackageVersion(const char* text) {
  SetText(IDC_NEW_VERSION, text);
}
void MainWindow::ShowCurrentVersion(const char* text) {
  SetText(IDC_CURRENT_VERSION, text);
}

void MainWindow::EnableControl(int id, bool enable) {
  ::EnableWindow(::GetDlgItem(dialog_, id), enable ? TRUE : FALSE);
  KeepFocusUsable();
}

void MainWindow::KeepFocusUsable() {
  HWND focus = ::GetFocus();
  const bool usable = focus != nullptr && ::IsChild(dialog_, focus) && ::IsWindowEnabled(focus) &&
                      ::IsWindowVisible(focus);
  if (usable) return;
  // The first control, in tab order, that can take the focus; none while all are off.
  HWND next = ::GetNextDlgTabItem(dialog_, nullptr, FALSE);
  if (next != nullptr && ::IsWindowEnabled(next) && ::IsWindowVisible(next)) {
    ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
  }
}

void MainWindow::EnableStart(bool enable) {
  EnableControl(IDOK, enable);
}
void MainWindow::EnableExit(bool enable) {
  EnableControl(IDCANCEL, enable);
}
void MainWindow::EnableColourMode(bool enable) {
  EnableControl(IDC_CHANGE_COLOR_MODE, enable);
}
void MainWindow::ShowColourModeButton(bool show) {
  ::ShowWindow(::GetDlgItem(dialog_, IDC_CHANGE_COLOR_MODE), show ? SW_SHOWNA : SW_HIDE);
  KeepFocusUsable();
}

void MainWindow::PlayAnimation(bool play) {
  HWND animation = ::GetDlgItem(dialog_, IDC_ANIMATION);
  if (play) {
    // Without its animation the update runs the same; the control stays hidden.
    const bool opened =
        ::SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(Module()),
                       reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(options_.animationResource))) !=
        FALSE;
    ::ShowWindow(animation, opened ? SW_SHOWNA : SW_HIDE);
    if (opened) ::SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
    return;
  }
  ::SendMessageW(animation, ACM_STOP, 0, 0);
  ::SendMessageW(animation, ACM_OPENW, 0, 0);
  ::ShowWindow(animation, SW_SHOWNA);
  // The last frame goes: the window and every control on it are drawn again.
  ::RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void MainWindow::ShowErrorBox(const char* text) {
  ::MessageBoxW(dialog_, LanguageWide(text, session_.languageTag.view()).c_str(), L"Error", MB_OK);
}

void MainWindow::ShowNoticeBox(const char* text) {
  // No owner window: the printer's reset is announced apart from the window.
  ::MessageBoxW(nullptr, LanguageWide(text, session_.languageTag.view()).c_str(), L"Notice", MB_OK);
}

void MainWindow::CloseWindow() {
  if (HWND target = wakeTarget_.load()) ::PostMessageW(target, WM_COMMAND, IDCANCEL, 0);
}

void MainWindow::RunOnWindowThread(const std::function<void()>& task) {
  tasks_.RunAndWait(task);
}

void MainWindow::PostToWindowThread(std::function<void()> task) {
  tasks_.Post(std::move(task));
}

}  // namespace kiln::app::windows
