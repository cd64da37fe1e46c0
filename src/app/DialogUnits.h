// SPDX-License-Identifier: MIT
// Windows laid out from their templates: dialog units converted to pixels with the metrics of the
// window's font (the desktop's), and the standard controls of a template created at their
// rectangles; a resizable window moves and stretches them by their anchors.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <QPointer>
#include <functional>
#include <map>
#include <vector>

#include "resources/Layouts.h"

namespace corvelle {

// Dialog units of one font: a horizontal unit is a quarter of the average character width,
// a vertical unit an eighth of the character height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int BaseX() const { return m_baseX; }  // average character width in pixels

  int X(int units) const;
  int Y(int units) const;
  // Edges are converted one by one, so adjacent rectangles stay adjacent.
  QRect ToPixels(const layouts::DlgRect& rect) const;
  QSize ToPixels(int width, int height) const;

 private:
  int m_baseX;
  int m_baseY;
};

// The controls a window made from its template, by ID (IDC_STATIC items are not kept).
class TemplateControls {
 public:
  void Add(int id, QWidget* control);
  QWidget* Find(int id) const;
  template <typename T>
  T* As(int id) const {
    return qobject_cast<T*>(Find(id));
  }

 private:
  std::map<int, QWidget*> m_byId;
};

// A template's rectangle for a window `growth` pixels larger than the template (never smaller):
// each edge moves by its anchor's share of the growth.
QRect AnchoredRect(const layouts::ControlTemplate& item, const DialogUnits& units, QSize growth);

// A caption as plain text: mnemonic markers removed ("&&" stays one "&"), line breaks as spaces.
QString PlainCaption(const QString& caption);

// Makes the window's owner-drawn controls; called in template order so that they keep their
// place in the tab order.
using OwnerDrawFactory = std::function<QWidget*(const layouts::ControlTemplate&, QWidget* parent)>;

// `font`, made smaller where the template of `dialog` measured in it would not fit `available`
// (a screen's free area, less the window frame), so that a window's smallest size never
// leaves part of it off the screen; `font` itself when it fits.
QFont FontFittingTemplate(const QFont& font, const layouts::DialogTemplate& dialog, QSize available);

// Gives `window` the caption and the size of `dialog` (fixed, or for a resizable template its
// default and smallest, in a font small enough for the template to fit the screen), then creates its controls in template order at their rectangles. Each
// control's object name is its ID and its accessible name its caption; a label's mnemonic
// focuses its buddy.
TemplateControls BuildDialog(QWidget* window, const layouts::DialogTemplate& dialog,
                             const OwnerDrawFactory& ownerDraw = {});

// Puts `control` at the template rectangle for a window `growth` larger than the template.
// Drop-down lists keep their own closed height (the template height includes the open list);
// icons take the icon's size.
void PlaceControl(QWidget* control, const layouts::ControlTemplate& item, const DialogUnits& units,
                  QSize growth = {});

}  // namespace corvelle
