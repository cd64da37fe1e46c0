// SPDX-License-Identifier: MIT
// Dialog-unit conversion and template building.
#include "app/DialogUnits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "app/AppIcon.h"
#include "app/Text.h"

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

// Keeps a resizable window's controls at their anchored rectangles.
class TemplateResizer : public QObject {
 public:
  TemplateResizer(QWidget* window, const DialogUnits& units, QSize templateSize)
      : QObject(window), m_units(units), m_templateSize(templateSize) {
    window->installEventFilter(this);
  }
  void Add(QWidget* control, const ControlTemplate& item) { m_placed.emplace_back(control, &item); }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) {
      const QSize growth = static_cast<QWidget*>(watched)->size() - m_templateSize;
      for (const auto& [control, item] : m_placed) {
        if (control) PlaceControl(control, *item, m_units, growth);
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  DialogUnits m_units;
  QSize m_templateSize;
  std::vector<std::pair<QPointer<QWidget>, const ControlTemplate*>> m_placed;
};

bool Focusable(const QWidget* control) {
  return control->focusPolicy() != Qt::NoFocus && qobject_cast<const QLabel*>(control) == nullptr &&
         qobject_cast<const QGroupBox*>(control) == nullptr;
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

QString PlainCaption(const QString& caption) {
  QString plain;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    const QChar c = caption[i];
    if (c == QLatin1Char('&') && i + 1 < caption.size()) {
      plain += caption[++i];
    } else if (c == QLatin1Char('\n')) {
      plain += QLatin1Char(' ');
    } else {
      plain += c;
    }
  }
  return plain;
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

QRect AnchoredRect(const ControlTemplate& item, const DialogUnits& units, QSize growth) {
  const int dx = std::max(growth.width(), 0);
  const int dy = std::max(growth.height(), 0);
  const QRect rect = units.ToPixels(item.rect);
  const layouts::Anchor& a = item.anchor;
  return QRect(QPoint(rect.left() + a.left * dx / 2, rect.top() + a.top * dy / 2),
               QPoint(rect.right() + a.right * dx / 2, rect.bottom() + a.bottom * dy / 2));
}

void PlaceControl(QWidget* control, const ControlTemplate& item, const DialogUnits& units, QSize growth) {
  QRect rect = AnchoredRect(item, units, growth);
  if (item.kind == ControlKind::DropDownList) {
    rect.setHeight(std::min(rect.height(), control->sizeHint().height()));
  } else if (item.kind == ControlKind::Icon) {
    rect.setSize(control->sizeHint());
  }
  control->setGeometry(rect);
}

QFont FontFittingTemplate(const QFont& font, const layouts::DialogTemplate& dialog, QSize available) {
  constexpr int kSmallestPixels = 6;
  QFont fitted(font);
  for (int pixels = QFontInfo(font).pixelSize(); pixels > kSmallestPixels; --pixels) {
    const QSize size = DialogUnits(fitted).ToPixels(dialog.width, dialog.height);
    if (size.width() <= available.width() && size.height() <= available.height()) break;
    fitted.setPixelSize(pixels - 1);
  }
  return fitted;
}

TemplateControls BuildDialog(QWidget* window, const layouts::DialogTemplate& dialog,
                             const OwnerDrawFactory& ownerDraw) {
  window->setWindowTitle(Latin1(dialog.caption));
  if (dialog.resizable) {
    // Room for a title bar and borders; the frame is not known before the window is shown.
    constexpr QSize kFrameAllowance(16, 48);
    if (const QScreen* screen = window->screen(); screen != nullptr) {
      window->setFont(FontFittingTemplate(window->font(), dialog, screen->availableGeometry().size() - kFrameAllowance));
    }
  }
  const DialogUnits units(window->font());
  const QSize templateSize = units.ToPixels(dialog.width, dialog.height);
  TemplateResizer* resizer = nullptr;
  if (dialog.resizable) {
    window->setMinimumSize(templateSize);
    window->resize(templateSize);
    resizer = new TemplateResizer(window, units, templateSize);
  } else {
    window->setFixedSize(templateSize);
  }

  TemplateControls controls;
  std::vector<QWidget*> groupBoxes;
  std::vector<std::pair<QLabel*, const ControlTemplate*>> labels;
  std::vector<std::pair<QWidget*, const ControlTemplate*>> made;
  for (const ControlTemplate& item : dialog.controls) {
    QWidget* control = item.kind == ControlKind::OwnerDraw ? (ownerDraw ? ownerDraw(item, window) : nullptr)
                                                           : MakeControl(item, window, units);
    if (control == nullptr) continue;
    if (item.id != layouts::IDC_STATIC) control->setObjectName(QString::number(item.id));
    PlaceControl(control, item, units);
    if (resizer != nullptr) resizer->Add(control, item);
    if (item.flags & layouts::kDisabled) control->setEnabled(false);
    if (item.flags & layouts::kHidden) control->hide();
    if (item.kind == ControlKind::GroupBox) groupBoxes.push_back(control);
    if (!item.text.empty() && item.kind != ControlKind::DropDownList && item.kind != ControlKind::ListBox &&
        item.kind != ControlKind::MultiListBox) {
      control->setAccessibleName(PlainCaption(Latin1(item.text)));
    }
    if (auto* label = qobject_cast<QLabel*>(control); label != nullptr && item.text.find('&') != std::string_view::npos) {
      labels.emplace_back(label, &item);
    }
    made.emplace_back(control, &item);
    controls.Add(item.id, control);
  }
  // A label's mnemonic focuses its buddy: the named control, else the next one that takes focus.
  for (const auto& [label, item] : labels) {
    QWidget* buddy = item->buddy != 0 ? controls.Find(item->buddy) : nullptr;
    for (auto next = std::find_if(made.begin(), made.end(), [&](const auto& m) { return m.first == label; });
         buddy == nullptr && next != made.end(); ++next) {
      if (Focusable(next->first)) buddy = next->first;
    }
    if (buddy == nullptr) continue;
    label->setBuddy(buddy);
    // Lists and edit boxes are named by the label that stands for them.
    if (buddy->accessibleName().isEmpty()) {
      QString name = PlainCaption(label->text()).trimmed();
      if (name.endsWith(QLatin1Char(':'))) name.chop(1);
      buddy->setAccessibleName(name);
    }
  }
  // Frames are painted beneath the controls they surround.
  for (QWidget* box : groupBoxes) box->lower();
  return controls;
}

}  // namespace corvelle
