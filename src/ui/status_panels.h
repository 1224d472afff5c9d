#pragma once

#include <QLabel>
#include <QStatusBar>
#include <QString>

#include <array>

namespace ph {

// A label that shows as much of a long text as fits, its beginning and its end with "…"
// between them; text() stays the whole text.
class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

  // The text as it shows at the label's present width.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect TextArea() const;
};

// The seven panels of the status bar, numbered 1 to 7 from the left.
class StatusPanels {
 public:
  // The panels that show values; 1, 3 and 5 are their labels.
  static constexpr int kRows = 2;
  static constexpr int kSuccesses = 4;
  static constexpr int kWorkers = 6;
  static constexpr int kMessage = 7;

  StatusPanels(QStatusBar* bar, const QString& credit_line);

  void Set(int panel, const QString& text);
  QString Text(int panel) const;
  QLabel* Label(int panel) const { return labels_[static_cast<std::size_t>(panel - 1)]; }

 private:
  std::array<QLabel*, 7> labels_{};
};

}  // namespace ph
