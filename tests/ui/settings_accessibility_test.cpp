#include "app/application.h"
#include "core/app_state.h"
#include "support/accessibility_bridge.h"
#include "support/sandbox.h"
#include "ui/main_window.h"
#include "ui/started_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QLineEdit>

#include <map>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The roles of what a person fills in, ticks or picks.
bool IsField(QAccessible::Role role) {
  return role == QAccessible::EditableText || role == QAccessible::CheckBox ||
         role == QAccessible::RadioButton;
}

// Every field below the interface as assistive technology walks the tree: its name and object.
void CollectFields(QAccessibleInterface* at, std::vector<QAccessibleInterface*>& fields) {
  if (at == nullptr) return;
  if (IsField(at->role())) fields.push_back(at);
  for (int i = 0; i < at->childCount(); ++i) CollectFields(at->child(i), fields);
}

class SettingsAccessibilityTest : public ::testing::Test {
 protected:
  SettingsAccessibilityTest() : application(dir.Dir()), window(test::StartWindow(application)) {
    window.findChild<QAction*>(u"softSetMenu"_s)->trigger();  // the settings panel shows
  }

  std::vector<QAccessibleInterface*> Fields(QObject* root) {
    std::vector<QAccessibleInterface*> fields;
    CollectFields(QAccessible::queryAccessibleInterface(root), fields);
    return fields;
  }

  test::TempProgramDir dir;
  Application application;
  MainWindow& window;
};

TEST_F(SettingsAccessibilityTest, EveryFieldOfTheWindowHasADistinctName) {
  auto* panel = window.findChild<QGroupBox*>(u"setFrm"_s);
  const std::vector<QAccessibleInterface*> settings = Fields(panel);
  // Texts, check boxes, and the options of the choices (the strategy a combo box).
  EXPECT_EQ(settings.size(), 24u + 13u + 11u);
  std::map<QString, QString> owner;             // name -> the object that has it
  for (QAccessibleInterface* field : Fields(&window)) {
    const QString name = field->text(QAccessible::Name);
    const QString object = field->object()->objectName();
    EXPECT_FALSE(name.isEmpty()) << object.toStdString();
    const auto [at, fresh] = owner.emplace(name, object);
    EXPECT_TRUE(fresh) << name.toStdString() << ": " << object.toStdString() << " and "
                       << at->second.toStdString();
  }
  // The fields the user could not tell apart, and the filter above the list.
  const std::map<QString, QString> named{{u"Text10"_s, u"接口密码"_s},
                                         {u"Text9"_s, u"本机地址信息"_s},
                                         {u"Text16"_s, u"Http 验证 URL"_s},
                                         {u"Text17"_s, u"Http 特征字符"_s},
                                         {u"Text14"_s, u"Https 验证 URL"_s},
                                         {u"Text15"_s, u"Https 特征字符"_s},
                                         {u"Gtn(7)"_s, u"验证连接接口 Http 自定义"_s},
                                         {u"Gtn(6)"_s, u"验证连接接口 Https 自定义"_s},
                                         {u"Filter"_s, u"筛选"_s}};
  for (const auto& [object, name] : named) {
    ASSERT_TRUE(owner.contains(name)) << name.toStdString();
    EXPECT_EQ(owner[name], object);
  }
}

TEST_F(SettingsAccessibilityTest, ALabelBesideAFieldIsItsLabelForAssistiveTechnology) {
  for (const auto& [object, label] :
       std::vector<std::pair<QString, QString>>{{u"Text3"_s, u"验证线程"_s},
                                                {u"Text18"_s, u"验证次数:"_s},
                                                {u"Text8"_s, u"端口:"_s},
                                                {u"Text17"_s, u"特征字符:"_s}}) {
    QAccessibleInterface* field =
        QAccessible::queryAccessibleInterface(window.findChild<QLineEdit*>(object));
    ASSERT_NE(field, nullptr);
    QStringList labels;
    for (const auto& [other, relation] : field->relations(QAccessible::Label))
      labels << other->text(QAccessible::Name);
    EXPECT_TRUE(labels.contains(label))
        << object.toStdString() << ": " << labels.join(u", "_s).toStdString();
  }
}

TEST_F(SettingsAccessibilityTest, WhatAScreenReaderIsToldOfAChangeNamesTheField) {
  test::TakeBridgedEvents(QAccessible::TextUpdated);
  window.State().Config().SetText(&SettingsPanel::Text10, u"secret"_s);  // as the API may
  const std::vector<QObject*> changed = test::TakeBridgedEvents(QAccessible::TextUpdated);
  ASSERT_FALSE(changed.empty());
  EXPECT_EQ(QAccessible::queryAccessibleInterface(changed.back())->text(QAccessible::Name),
            u"接口密码"_s);
}

}  // namespace
}  // namespace ph
