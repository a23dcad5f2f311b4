// Private conversions between the component layer's types and Qt's.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <string>
#include <string_view>

#include "platform/ui/component.h"
#include "platform/ui/controls.h"

namespace ui {

inline QString QStr(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string StdStr(const QString& s) { return s.toUtf8().toStdString(); }

inline QColor ToQColor(TColor c) {
  std::uint32_t rgb = ColorToRgb(c);
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

inline QFont ToQFont(const TFont& f) {
  QFont q(QStr(f.Name));
  q.setStyleHint(QFont::SansSerif);
  int px = f.Height < 0 ? -f.Height : f.Height;
  q.setPixelSize(px > 0 ? px : 11);
  q.setBold(f.Style & fsBold);
  q.setItalic(f.Style & fsItalic);
  q.setUnderline(f.Style & fsUnderline);
  q.setStrikeOut(f.Style & fsStrikeOut);
  return q;
}

// Caption with '&' accelerators as plain text: "&&" stays one '&', a single
// '&' disappears.
inline QString PlainCaption(std::string_view s) {
  std::string r;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') { r += '&'; ++i; }
      continue;
    }
    r += s[i];
  }
  return QStr(r);
}

}  // namespace ui
