#include "status/json_writer.h"

#include <cmath>

namespace ph {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendEscape(QByteArray& out, char16_t unit) {
  out.append("\\u00");
  out.append(kHex[(unit >> 4) & 0xF]).append(kHex[unit & 0xF]);
}

}  // namespace

void JsonWriter::Separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (first_.empty()) return;
  if (!first_.back()) out_.append(',');
  first_.back() = false;
}

void JsonWriter::Open(char bracket) {
  Separate();
  out_.append(bracket);
  first_.push_back(true);
}

void JsonWriter::Close(char bracket) {
  out_.append(bracket);
  if (!first_.empty()) first_.pop_back();
}

void JsonWriter::Key(std::string_view key) {
  Separate();
  out_.append('"').append(key.data(), static_cast<qsizetype>(key.size())).append("\":");
  after_key_ = true;
}

void JsonWriter::Value(int64_t number) {
  Separate();
  out_.append(QByteArray::number(static_cast<qlonglong>(number)));
}

void JsonWriter::Value(double number, int decimals) {
  Separate();
  if (!std::isfinite(number)) {
    out_.append("null");
    return;
  }
  QByteArray text = QByteArray::number(number, 'f', decimals);
  // "12.50" and "3.0" read as 12.5 and 3.
  if (text.contains('.')) {
    while (text.endsWith('0')) text.chop(1);
    if (text.endsWith('.')) text.chop(1);
  }
  out_.append(text);
}

void JsonWriter::Value(bool flag) {
  Separate();
  out_.append(flag ? "true" : "false");
}

void JsonWriter::Null() {
  Separate();
  out_.append("null");
}

void JsonWriter::Value(const QString& text) {
  Separate();
  out_.append('"');
  qsizetype plain_from = 0;
  const auto flush_plain = [&](qsizetype to) {
    if (to > plain_from) out_.append(QStringView(text).mid(plain_from, to - plain_from).toUtf8());
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    const bool special = unit < 0x20 || unit == u'"' || unit == u'\\' || unit == u'<' ||
                         unit == u'>' || unit == u'&' || unit == 0x2028 || unit == 0x2029;
    if (!special) continue;
    flush_plain(i);
    plain_from = i + 1;
    if (unit == u'"') {
      out_.append("\\\"");
    } else if (unit == u'\\') {
      out_.append("\\\\");
    } else if (unit == u'\n') {
      out_.append("\\n");
    } else if (unit == 0x2028 || unit == 0x2029) {
      out_.append(unit == 0x2028 ? "\\u2028" : "\\u2029");
    } else {
      AppendEscape(out_, unit);
    }
  }
  flush_plain(text.size());
  out_.append('"');
}

}  // namespace ph
