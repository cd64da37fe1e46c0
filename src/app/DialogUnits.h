// SPDX-License-Identifier: MIT
// Windows laid out from their templates: dialog units converted to pixels with the dialog font's
// metrics, and the standard controls of a template created at their rectangles.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <functional>
#include <map>

#include "resources/Layouts.h"

namespace corvelle {

// "Tahoma" 8 pt; where Tahoma is not installed the font database substitutes (DejaVu Sans here).
QFont DialogFont();

// Dialog units of one font: a horizontal unit is a quarter of the average character width,
// a vertical unit an eighth of the character height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int BaseX() const { return m_baseX; }  // average character width in pixels
  int BaseY() const { return m_baseY; }  // character height in pixels

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

// Makes the window's owner-drawn controls; called in template order so that they keep their
// place in the tab order.
using OwnerDrawFactory = std::function<QWidget*(const layouts::ControlTemplate&, QWidget* parent)>;

// Gives `window` the dialog font, the caption and the fixed size of `dialog`, then creates its
// controls in template order at their rectangles. Each control's object name is its ID.
TemplateControls BuildDialog(QWidget* window, const layouts::DialogTemplate& dialog,
                             const OwnerDrawFactory& ownerDraw = {});

// Puts `control` at the template rectangle. Drop-down lists keep their own closed height (the
// template height includes the open list); icons take the icon's size.
void PlaceControl(QWidget* control, const layouts::ControlTemplate& item, const DialogUnits& units);

}  // namespace corvelle
