#pragma once

#include <QLabel>
#include <QStatusBar>
#include <QString>

#include <array>

namespace ph {

// The seven panels of the status bar, numbered 1 to 7 from the left.
class StatusPanels {
 public:
  StatusPanels(QStatusBar* bar, const QString& credit_line);

  void Set(int panel, const QString& text);
  QString Text(int panel) const;

 private:
  std::array<QLabel*, 7> labels_{};
};

}  // namespace ph
