#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

namespace ph {

// Writes compact JSON into a byte array, commas included. Texts are escaped so that the
// result may also stand inside an HTML script element: "<", ">" and "&" as \u escapes, like
// the line and paragraph separators.
class JsonWriter {
 public:
  explicit JsonWriter(QByteArray& out) : out_(out) {}

  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  // An object's key, written as given: plain ASCII names of our own.
  void Key(std::string_view key);

  void Value(int64_t number);
  void Value(int number) { Value(static_cast<int64_t>(number)); }
  // With at most the given decimals; null when not finite.
  void Value(double number, int decimals);
  void Value(bool flag);
  void Value(const QString& text);
  void Null();
  // A key and its value.
  template <typename T>
  void Field(std::string_view key, const T& value) {
    Key(key);
    Value(value);
  }

 private:
  void Open(char bracket);
  void Close(char bracket);
  void Separate();

  QByteArray& out_;
  std::vector<bool> first_;  // per open bracket: nothing written in it yet
  bool after_key_ = false;
};

}  // namespace ph
