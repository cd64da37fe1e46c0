// SPDX-License-Identifier: MIT
// Dialog-unit conversion and template building.
#include "app/DialogUnits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "app/AppIcon.h"

namespace corvelle {
namespace {

using layouts::ControlKind;
using layouts::ControlTemplate;

// a·b/c rounded to the nearest integer, halves away from zero.
int MulDivRound(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

QString Latin1(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

QStringList Entries(std::string_view text) {
  if (text.empty()) return {};
  return Latin1(text).split(QLatin1Char('\n'));
}

// Breaks a one-line caption at spaces so that each line fits `width` pixels.
QString WrapCaption(const QString& caption, const QFontMetrics& metrics, int width) {
  if (caption.contains(QLatin1Char('\n')) || metrics.horizontalAdvance(caption) <= width) return caption;
  QStringList lines;
  QString line;
  for (const QString& word : caption.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
    if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
      lines << line;
      line = word;
    } else {
      line = longer;
    }
  }
  lines << line;
  return lines.join(QLatin1Char('\n'));
}

QWidget* MakeControl(const ControlTemplate& item, QWidget* parent, const DialogUnits& units) {
  const QString text = Latin1(item.text);
  switch (item.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      auto* button = new QPushButton(text, parent);
      button->setDefault(item.kind == ControlKind::DefPushButton);
      return button;
    }
    case ControlKind::MultiLinePushButton: {
      const int inner = units.ToPixels(item.rect).width() - 2 * units.BaseX();
      return new QPushButton(WrapCaption(text, QFontMetrics(parent->font()), inner), parent);
    }
    case ControlKind::CheckBox:
      return new QCheckBox(text, parent);
    case ControlKind::RadioButton:
      return new QRadioButton(text, parent);
    case ControlKind::GroupBox: {
      // Group boxes only frame their neighbours: they must not take their clicks.
      auto* box = new QGroupBox(text, parent);
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      return box;
    }
    case ControlKind::StaticText: {
      auto* label = new QLabel(text, parent);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::Icon: {
      auto* label = new QLabel(parent);
      label->setPixmap(AppIconPixmap());
      return label;
    }
    case ControlKind::ListBox:
    case ControlKind::MultiListBox: {
      auto* list = new QListWidget(parent);
      list->setSelectionMode(item.kind == ControlKind::ListBox ? QAbstractItemView::SingleSelection
                                                               : QAbstractItemView::ExtendedSelection);
      list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      // The templates' lists scroll vertically only; names wider than the list are cut.
      list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      list->setTextElideMode(Qt::ElideNone);
      list->addItems(Entries(item.text));
      return list;
    }
    case ControlKind::DropDownList: {
      auto* combo = new QComboBox(parent);
      combo->addItems(Entries(item.text));
      combo->setCurrentIndex(-1);  // a fresh drop-down list has no selection
      return combo;
    }
    case ControlKind::Edit:
      return new QLineEdit(text, parent);
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::OwnerDraw:
      break;
  }
  return nullptr;
}

}  // namespace

QFont DialogFont() {
  QFont font(Latin1(layouts::kDialogFontFace));
  font.setPointSize(layouts::kDialogFontPoints);
  return font;
}

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the 52 Latin letters, rounded, as the dialog manager measures it.
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  m_baseX = (letters / 26 + 1) / 2;
  m_baseY = metrics.height();
}

int DialogUnits::X(int units) const { return MulDivRound(units, m_baseX, 4); }

int DialogUnits::Y(int units) const { return MulDivRound(units, m_baseY, 8); }

QRect DialogUnits::ToPixels(const layouts::DlgRect& rect) const {
  const int left = X(rect.x);
  const int top = Y(rect.y);
  return {left, top, X(rect.x + rect.w) - left, Y(rect.y + rect.h) - top};
}

QSize DialogUnits::ToPixels(int width, int height) const { return {X(width), Y(height)}; }

void TemplateControls::Add(int id, QWidget* control) {
  if (id != layouts::IDC_STATIC && control != nullptr) m_byId.emplace(id, control);
}

QWidget* TemplateControls::Find(int id) const {
  const auto found = m_byId.find(id);
  return found == m_byId.end() ? nullptr : found->second;
}

void PlaceControl(QWidget* control, const ControlTemplate& item, const DialogUnits& units) {
  QRect rect = units.ToPixels(item.rect);
  if (item.kind == ControlKind::DropDownList) {
    rect.setHeight(std::min(rect.height(), control->sizeHint().height()));
  } else if (item.kind == ControlKind::Icon) {
    rect.setSize(control->sizeHint());
  }
  control->setGeometry(rect);
}

TemplateControls BuildDialog(QWidget* window, const layouts::DialogTemplate& dialog,
                             const OwnerDrawFactory& ownerDraw) {
  window->setFont(DialogFont());
  window->setWindowTitle(Latin1(dialog.caption));
  const DialogUnits units(window->font());
  window->setFixedSize(units.ToPixels(dialog.width, dialog.height));

  TemplateControls controls;
  std::vector<QWidget*> groupBoxes;
  for (const ControlTemplate& item : dialog.controls) {
    QWidget* control = item.kind == ControlKind::OwnerDraw ? (ownerDraw ? ownerDraw(item, window) : nullptr)
                                                           : MakeControl(item, window, units);
    if (control == nullptr) continue;
    if (item.id != layouts::IDC_STATIC) control->setObjectName(QString::number(item.id));
    PlaceControl(control, item, units);
    if (item.flags & layouts::kDisabled) control->setEnabled(false);
    if (item.flags & layouts::kHidden) control->hide();
    if (item.kind == ControlKind::GroupBox) groupBoxes.push_back(control);
    controls.Add(item.id, control);
  }
  // Frames are painted beneath the controls they surround.
  for (QWidget* box : groupBoxes) box->lower();
  return controls;
}

}  // namespace corvelle
