#include "app/windows/dialogs/table_file_list.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/windows/dialogs/cell_editor.h"
#include "platform/windows/wide_text.h"

namespace kiln::app::windows {

using platform::windows::Utf8;
using platform::windows::Wide;

namespace {

constexpr int kNarrowestEditable = 5;  // pixels
constexpr int kEditorInset = 4;        // the editor's left edge inside its cell
constexpr int kHeaderPadding = 24;     // a header's margins and divider around its text

void SetCell(HWND list, int row, int column, const std::wstring& text) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int ColumnWidth(HWND list, int column) {
  return static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

int ColumnCount(HWND list) {
  const auto header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
  return static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

}  // namespace

void TableFileList::Attach(HWND list, Changes changes) {
  list_ = list;
  changes_ = std::move(changes);
  ::SetWindowSubclass(list_, &TableFileList::Subclass, 1, reinterpret_cast<DWORD_PTR>(this));
}

void TableFileList::AddColumns() {
  struct Column {
    const wchar_t* title;
    int width;
  };
  const Column columns[] = {{L"Table File Name", 150}, {L"Version", 65}, {L"Description", 100}};
  for (int i = 0; i < 3; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = columns[i].width;
    column.pszText = const_cast<wchar_t*>(columns[i].title);
    ::SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                   reinterpret_cast<LPARAM>(&column));
  }
  // The version keeps at least its header's width (a large dialog font would cut it);
  // the description fills the rest.
  const int header = kHeaderPadding + static_cast<int>(::SendMessageW(
                                          list_, LVM_GETSTRINGWIDTHW, 0,
                                          reinterpret_cast<LPARAM>(columns[kVersionColumn].title)));
  if (header > columns[kVersionColumn].width) {
    ::SendMessageW(list_, LVM_SETCOLUMNWIDTH, kVersionColumn, header);
  }
  ::SendMessageW(list_, LVM_SETCOLUMNWIDTH, kDescriptionColumn, LVSCW_AUTOSIZE_USEHEADER);
  ::SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
}

void TableFileList::AppendRow(const std::string& fileName, const std::string& version,
                              const std::string& description) {
  const std::wstring name = Wide(fileName);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = RowCount();
  item.pszText = const_cast<wchar_t*>(name.c_str());
  const auto row =
      static_cast<int>(::SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (row < 0) return;
  SetCell(list_, row, kVersionColumn, Wide(version));
  SetCell(list_, row, kDescriptionColumn, Wide(description));
}

void TableFileList::DeleteAllRows() {
  ::SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
}

int TableFileList::RowCount() const {
  return static_cast<int>(::SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
}

int TableFileList::RowsPerPage() const {
  return static_cast<int>(::SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0));
}

std::string TableFileList::CellText(int row, int column) const {
  std::vector<wchar_t> text(1024, L'\0');
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text.data();
  item.cchTextMax = static_cast<int>(text.size());
  ::SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
  return Utf8(text.data());
}

HWND TableFileList::EditCell(int row, int column) {
  if (row < 0 || row >= RowCount()) return nullptr;
  if (!::SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), TRUE) &&
      !::SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), TRUE)) {
    return nullptr;
  }
  if (column < 0 || column >= ColumnCount(list_)) return nullptr;
  const int width = ColumnWidth(list_, column);
  if (width < kNarrowestEditable) return nullptr;
  int offset = 0;
  for (int before = 0; before < column; ++before) offset += ColumnWidth(list_, before);

  RECT rect{};
  rect.left = LVIR_BOUNDS;
  ::SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
  RECT client{};
  ::GetClientRect(list_, &client);
  // A column whose left edge is out of view is scrolled to the list's left edge.
  if (rect.left + offset < 0 || rect.left + offset > client.right) {
    const int by = rect.left + offset;
    ::SendMessageW(list_, LVM_SCROLL, static_cast<WPARAM>(by), 0);
    rect.left -= by;
  }

  LVCOLUMNW format{};
  format.mask = LVCF_FMT;
  ::SendMessageW(list_, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&format));
  DWORD alignment = ES_LEFT;
  if ((format.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT) alignment = ES_RIGHT;
  if ((format.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER) alignment = ES_CENTER;

  RECT editor = rect;
  editor.left = rect.left + offset + kEditorInset;
  editor.right = std::min<LONG>(editor.left + width - 3, client.right);
  return CellEditor::Open(*this, row, column, Wide(CellText(row, column)), editor, alignment);
}

int TableFileList::CellFromPoint(POINT point, int* column) const {
  LVHITTESTINFO hit{};
  hit.pt = point;
  const auto row = static_cast<int>(
      ::SendMessageW(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (row < 0 || (hit.flags & LVHT_ONITEM) == 0) return -1;
  if (column != nullptr) *column = hit.iSubItem;
  return row;
}

void TableFileList::EndLabelEdit(const NMLVDISPINFOW& info) {
  if (info.item.pszText == nullptr) return;  // cancelled: the cell keeps its text
  const int row = info.item.iItem;
  const int column = info.item.iSubItem;
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount(list_)) return;
  SetCell(list_, row, column, info.item.pszText);
  if (changes_.cellEdited) changes_.cellEdited(row, column, Utf8(info.item.pszText));
}

void TableFileList::CommitOpenEditor() {
  const HWND focus = ::GetFocus();
  if (focus != nullptr && ::GetParent(focus) == list_) ::SetFocus(list_);
}

void TableFileList::DeleteSelectedRow() {
  const auto row = static_cast<int>(
      ::SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (row < 0) return;
  ::SendMessageW(list_, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
  if (changes_.rowDeleted) changes_.rowDeleted(row);
}

LRESULT CALLBACK TableFileList::Subclass(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR /*id*/, DWORD_PTR data) {
  auto& self = *reinterpret_cast<TableFileList*>(data);
  switch (message) {
    case WM_LBUTTONDOWN: {
      const LRESULT result = ::DefSubclassProc(list, message, wParam, lParam);
      POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      int column = -1;
      const int row = self.CellFromPoint(point, &column);
      if (row >= 0 && column == kDescriptionColumn &&
          (::GetWindowLongW(list, GWL_STYLE) & LVS_EDITLABELS) != 0) {
        self.EditCell(row, kDescriptionColumn);
      }
      return result;
    }
    case WM_KEYDOWN:
      if (wParam == VK_DELETE) self.DeleteSelectedRow();
      if (wParam == VK_F2) {
        // The keyboard's way into the cells: the focused row's file name.
        auto row = static_cast<int>(
            ::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
        if (row < 0) {
          // A list that has never had a row focused starts at the top, which the
          // arrows then move from.
          row = 0;
          ListView_SetItemState(list, row, LVIS_FOCUSED | LVIS_SELECTED,
                                LVIS_FOCUSED | LVIS_SELECTED);
        }
        if (self.EditCell(row, kFileNameColumn) != nullptr) return 0;
      }
      break;
    case WM_HSCROLL:
    case WM_VSCROLL:
      // A scroll ends an open editor first, so that its text goes into the cell it covers.
      if (::GetFocus() != list) ::SetFocus(list);
      break;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(list, &TableFileList::Subclass, 1);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(list, message, wParam, lParam);
}

}  // namespace kiln::app::windows
