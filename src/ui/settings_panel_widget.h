#pragma once

#include <QGroupBox>

#include <array>

class QButtonGroup;
class QPushButton;

namespace ph {

class Settings;

// The settings frame "设置 [Seting]". Its widgets mirror the Settings object both ways:
// an edit writes the field, a change made elsewhere (start-up, control API) updates the widget.
class SettingsPanelWidget : public QGroupBox {
  Q_OBJECT

 public:
  SettingsPanelWidget(Settings& settings, QWidget* parent);

  QPushButton* ApplyButton() const { return apply_; }                       // Command3 "应 用"
  QPushButton* HideButton() const { return hide_; }                         // Command2 "隐 藏"
  QPushButton* ExternalAddressButton() const { return external_address_; }  // Command5 "本机IP"
  QPushButton* ApiButton() const { return api_; }  // Command4 "启动接口" / "停 止"

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
  void BindFields();

  Settings& settings_;
  QButtonGroup* otn_ = nullptr;
  QButtonGroup* gtn_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* hide_ = nullptr;
  QPushButton* external_address_ = nullptr;
  QPushButton* api_ = nullptr;
};

}  // namespace ph
