#pragma once

#include "core/settings_panel.h"

#include <QLatin1StringView>
#include <QString>

#include <array>
#include <span>

namespace ph {

// A field of the panel, by member: what a change signal carries.
using TextField = QString SettingsPanel::*;
using IntField = int SettingsPanel::*;
// Check boxes hold 0 or 1 (2 = grey).
using CheckField = IntField;

// One option of a choice, and what the panel shows for it.
struct ChoiceOption {
  int value = 0;
  const char16_t* caption = nullptr;
};

// One control of the settings panel, described once for everyone who shows, reads or writes
// it: the window's panel builds and names its widgets from it, the headless config file takes
// and comments its keys by it, and the checks of what a control accepts come from here.
struct Control {
  enum class Kind { kText, kCheck, kChoice };

  QLatin1StringView name;  // the widget's objectName and the config file's key
  Kind kind;
  TextField text = nullptr;  // kText
  IntField value = nullptr;  // kCheck, kChoice
  // What a person reads for it: the label beside a field (its accessible name), a check
  // box's caption, a choice's frame title.
  const char16_t* label = nullptr;
  // Shown in the panel instead of the label where a short word suffices there ("国外").
  const char16_t* caption = nullptr;
  // The unit or the values it takes, for the config file's comment.
  const char16_t* hint = nullptr;
  int max_length = 0;                     // what typing accepts; 0 = unlimited
  const char16_t* placeholder = nullptr;  // emptied by a click into the field holding it
  // A number field's range, as ApplySettings or the one who reads it needs it.
  bool number = false;
  double low = 0;
  double high = 0;
  std::array<ChoiceOption, 4> options{};  // kChoice
  int option_count = 0;
  bool settable = true;  // false for a field that only shows what the program found

  QString Label() const { return QString::fromUtf16(label); }
  QString Caption() const { return QString::fromUtf16(caption != nullptr ? caption : label); }
  std::span<const ChoiceOption> Options() const {
    return std::span<const ChoiceOption>(options).first(static_cast<std::size_t>(option_count));
  }
};

// Every control, in the panel's reading order.
std::span<const Control> Controls();
// The control of that name, or null.
const Control* FindControl(QStringView name);
// The control that edits the field.
const Control& ControlOf(TextField field);
const Control& ControlOf(IntField field);

}  // namespace ph
