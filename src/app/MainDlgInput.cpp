// SPDX-License-Identifier: MIT
// The main window by keyboard and mouse: what Enter and Delete do in the two font lists (Home and
// End, with Ctrl too, are the lists' own keys), double-clicks, dragging fonts onto positions and
// between them, the window's shortcuts and its Tab order.
#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QCheckBox>

#include "app/MainDlg.h"
#include "resources/Layouts.h"

namespace corvelle {
namespace {

using namespace layouts;

// What a drag inside the window carries: "available" (the fonts selected there) or the
// position number it started from.
const QString kDragFormat = QStringLiteral("application/x-corvelle-font-drag");
const QByteArray kFromAvailable = QByteArrayLiteral("available");

bool IsEnter(const QKeyEvent& key) { return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter; }

}  // namespace

void CMainDlg::SetUpListInput() {
  for (QListWidget* list : {m_available, m_selected}) {
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
    list->viewport()->setAcceptDrops(true);
  }
  connect(m_available, &QListWidget::itemDoubleClicked, this, [this] { AddSelected(); });
  const auto shortcut = [this](QKeySequence keys, int button) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this, [this, button] {
      if (QPushButton* target = Button(button); target != nullptr && target->isEnabled()) target->click();
    });
  };
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_O), IDC_LOAD_SETTINGS);
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), IDC_SAVE_SETTINGS);

  // Reading order: the code pages and About at the top, the lists with their buttons, then the
  // right column's and the bottom row's buttons, OK last.
  std::vector<QWidget*> order;
  for (const int choice : {0, 2, 1, 3, 4, 5}) order.push_back(m_codePageRadios[static_cast<std::size_t>(choice)]);
  order.push_back(Button(IDC_ABOUT));
  order.insert(order.end(), {m_available, Button(IDC_ADD), Button(IDC_REMOVE), m_selected, m_legacyBox});
  for (const int id : {IDC_EMPTY_LIST, IDC_LOAD_SETTINGS, IDC_SAVE_SETTINGS, IDC_CREATE_FILE, IDC_DOWNLOAD,
                       IDC_COMM_PORT, IDOK}) {
    order.push_back(Button(id));
  }
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void CMainDlg::SelectPosition(int row) {
  m_selected->setCurrentRow(row);
  m_selected->scrollToItem(m_selected->item(row));
}

void CMainDlg::AddSelectedAt(int position) {
  SelectPosition(position);
  AddSelected();
}

void CMainDlg::MovePosition(int from, int to) {
  if (from == to || from < 0 || to < 0 || from >= kSelectionPositions || to >= kSelectionPositions) return;
  std::swap(m_selection[static_cast<std::size_t>(from)], m_selection[static_cast<std::size_t>(to)]);
  ShowSelection();
  SelectPosition(to);
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
  if (m_operationRunning) return QDialog::eventFilter(watched, event);
  for (QListWidget* list : {m_available, m_selected}) {
    if (watched == list && event->type() == QEvent::KeyPress) {
      if (ListKey(list, static_cast<const QKeyEvent&>(*event))) return true;
    } else if (watched == list->viewport() && ListDrag(list, event)) {
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool CMainDlg::ListKey(QListWidget* list, const QKeyEvent& key) {
  const bool plain = key.modifiers() == Qt::NoModifier || key.modifiers() == Qt::KeypadModifier;
  if (list == m_available && IsEnter(key) && plain) {
    AddSelected();  // the list's own action, not OK
    return true;
  }
  if (list != m_selected) return false;
  if (IsEnter(key) && plain) {
    // The position under the caret becomes the target; the fonts to put there are chosen next.
    if (m_selected->currentRow() >= 0) SelectPosition(m_selected->currentRow());
    m_available->setFocus(Qt::TabFocusReason);
    return true;
  }
  if (key.key() == Qt::Key_Delete && plain) {
    RemoveSelected();
    return true;
  }
  return false;
}

bool CMainDlg::ListDrag(QListWidget* list, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      const auto& mouse = static_cast<const QMouseEvent&>(*event);
      m_dragStart = mouse.button() == Qt::LeftButton ? mouse.position().toPoint() : QPoint(-1, -1);
      return false;
    }
    case QEvent::MouseMove: {
      const auto& mouse = static_cast<const QMouseEvent&>(*event);
      if (!(mouse.buttons() & Qt::LeftButton) || m_dragStart.x() < 0 ||
          (mouse.position().toPoint() - m_dragStart).manhattanLength() < QApplication::startDragDistance()) {
        return false;
      }
      m_dragStart = QPoint(-1, -1);
      StartDrag(list);
      return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto& drag = static_cast<QDragMoveEvent&>(*event);
      if (list != m_selected || !drag.mimeData()->hasFormat(kDragFormat)) return false;
      const bool onPosition = m_selected->indexAt(drag.position().toPoint()).isValid();
      if (onPosition) {
        drag.acceptProposedAction();
      } else {
        drag.ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto& drop = static_cast<QDropEvent&>(*event);
      if (list != m_selected || !drop.mimeData()->hasFormat(kDragFormat)) return false;
      const int to = m_selected->indexAt(drop.position().toPoint()).row();
      if (to < 0) return true;
      drop.acceptProposedAction();
      const QByteArray from = drop.mimeData()->data(kDragFormat);
      if (from == kFromAvailable) {
        AddSelectedAt(to);
      } else {
        bool number = false;
        const int row = from.toInt(&number);
        if (number) MovePosition(row, to);
      }
      return true;
    }
    default: return false;
  }
}

std::unique_ptr<QMimeData> CMainDlg::DragData(QListWidget* list) const {
  QByteArray from;
  if (list == m_available && !m_available->selectedItems().isEmpty()) {
    from = kFromAvailable;
  } else if (list == m_selected && m_selected->currentRow() >= 0) {
    from = QByteArray::number(m_selected->currentRow());
  } else {
    return nullptr;
  }
  auto data = std::make_unique<QMimeData>();
  data->setData(kDragFormat, from);
  return data;
}

void CMainDlg::StartDrag(QListWidget* list) {
  std::unique_ptr<QMimeData> data = DragData(list);
  if (data == nullptr) return;
  auto* drag = new QDrag(list);
  drag->setMimeData(data.release());
  drag->exec(list == m_available ? Qt::CopyAction : Qt::MoveAction);
}

}  // namespace corvelle
