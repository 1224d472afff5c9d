#include "validate/result_record.h"

#include "core/date_text.h"
#include "core/literals.h"
#include "core/numbers.h"
#include "core/proxy_list.h"
#include "validate/probe_tally.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

const QRgb kGreen = qRgb(0, 255, 0);
// Row ids are whole numbers a double holds exactly.
constexpr double kLargestRowId = 9007199254740992.0;

// The local time of now, worked out once a second per thread: thousands of records a second
// share it.
std::string LocalTimeText() {
  thread_local std::time_t last = -1;
  thread_local std::string text;
  const std::time_t now = std::time(nullptr);
  if (now == last) return text;
  std::tm local{};
  localtime_r(&now, &local);
  std::array<char, 32> written{};
  std::strftime(written.data(), written.size(), "%m-%d %H:%M:%S", &local);
  last = now;
  text = written.data();
  return text;
}

// A record is one line: no CR LF pair may survive inside a value, not even one that
// appears once an inner pair is taken out.
std::string WithoutCrLf(std::string text) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n")) {
    text.erase(at, 2);
  }
  return text;
}

const char* Flag(bool value) { return value ? "True" : "False"; }

QString RatioText(int percent) {
  static std::vector<QString> cache(101);
  if (percent < 0 || percent > 100) return QString::number(percent) + u'%';
  QString& text = cache[static_cast<std::size_t>(percent)];
  if (text.isNull()) text = QString::number(percent) + u'%';
  return text;
}

// Record values copied into cells. Flags, small numbers and a repeated time text share
// their QString with earlier rows.
class ValueTexts {
 public:
  QString Get(std::string_view value) {
    static const QString kTrue = u"True"_s;
    static const QString kFalse = u"False"_s;
    if (value == "True") return kTrue;
    if (value == "False") return kFalse;
    if (value == kNothingBytes) return kNothing;
    if (IsSmallNumber(value)) {
      int number = 0;
      for (const char c : value) number = number * 10 + (c - '0');
      return SmallNumberText(number);
    }
    if (value != last_raw_) {
      last_raw_ = value;
      last_text_ = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    }
    return last_text_;
  }

 private:
  // Plain digits without a leading zero, below 10000: the text a number cache holds.
  static bool IsSmallNumber(std::string_view value) {
    return !value.empty() && value.size() <= 4 && (value.size() == 1 || value[0] != '0') &&
           std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
  }

  std::string last_raw_;
  QString last_text_;
};

// The anon field, which only ever follows errnum: an error text before it that holds the
// same letters is never taken for it.
std::string_view AnonymityField(std::string_view line) {
  const std::size_t errnum = line.rfind(";errnum=");
  if (errnum == std::string_view::npos) return {};
  const std::size_t end = line.find(';', errnum + 1);
  if (end == std::string_view::npos || line.substr(end + 1, 5) != "anon=") return {};
  const std::string_view value = line.substr(end + 6);
  return value.substr(0, value.find(';'));
}

}  // namespace

std::string WriteResultRecord(int64_t lvid, const ProbeOutcome& o) {
  std::string record = "lvid=" + std::to_string(lvid) + ";suc=" + std::to_string(o.suc);
  record += ";statu=" + std::to_string(o.failed ? 0 : o.status);
  record += ";timeout=" + std::to_string(o.elapsed_ms);
  record += ";http=";
  record += Flag(o.http);
  record += ";https=";
  record += Flag(o.https);
  record += ";time=" + LocalTimeText();
  if (o.failed) {
    record += ";error=" + WithoutCrLf(o.error) + ";errnum=" + std::to_string(o.error_number) + ";";
  } else {
    // A page without the match text says so; a success has no error.
    record += ";error=" + WithoutCrLf(o.error) + ";errnum=0;";
  }
  // Last, and only when known: a record without it reads as every record did before.
  if (!o.anonymity.empty()) record += "anon=" + o.anonymity + ";";
  return record;
}

std::string_view RecordField(std::string_view line, std::string_view key) {
  const std::size_t at = line.find(key);
  if (at == std::string_view::npos) return kNothingBytes;
  const std::size_t begin = at + key.size();
  const std::size_t end = line.find(';', begin);
  return line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

int ApplyResultRecords(ProxyList& list, std::string_view records, ProbeTally* tally,
                       std::vector<uint64_t>* applied) {
  int successes = 0;
  int first_changed = -1;
  int last_changed = -1;
  QString now_text;  // one first-validation time for the whole drain
  ValueTexts values;

  std::size_t pos = 0;
  while (pos < records.size()) {
    std::size_t end = records.find("\r\n", pos);
    if (end == std::string_view::npos) end = records.size();
    const std::string_view line = records.substr(pos, end - pos);
    pos = end + 2;
    if (line.find('=') == std::string_view::npos) continue;

    // The record names its row by identity: a row removed meanwhile gets nothing, and no
    // other row gets its result.
    const double lvid = RoundHalfEven(ReadNumber(RecordField(line, "lvid=")));
    if (!(lvid >= 1 && lvid <= kLargestRowId)) continue;
    const int row = list.RowOf(static_cast<RowId>(lvid));
    if (row == 0) continue;
    ProxyEntry& entry = list.EntryForWrite(row);
    auto cell = [&entry](int number) -> QString& { return entry.MutableCell(number); };

    const double tests = ReadNumber(cell(kTestCount)) + 1;
    double wins = ReadNumber(cell(kSuccessCount));
    const bool success = ReadNumber(RecordField(line, "suc=")) > 0;
    if (success) {
      cell(kTestResult) = kSuccessText;
      entry.result_colour = kGreen;
      ++successes;
      wins += 1;
      cell(kSuccessCount) = NumberText(wins);
      entry.failure = FailurePhase::kNone;
    } else {
      cell(kTestResult) = kFailureText;
      entry.failure = PhaseOfError(RecordField(line, "error="));
    }
    cell(kTestCount) = NumberText(tests);
    cell(kSuccessRatio) = RatioText(RatioPercent(wins, tests));
    cell(kProtocolStatus) = values.Get(RecordField(line, "statu="));
    cell(kHttpOk) = values.Get(RecordField(line, "http="));
    cell(kHttpsOk) = values.Get(RecordField(line, "https="));
    const std::string_view elapsed = RecordField(line, "timeout=");
    cell(kElapsedMs) = values.Get(elapsed);
    if (tally != nullptr) tally->Count(success, entry.failure, ReadNumber(elapsed));
    cell(kTestedAt) = values.Get(RecordField(line, "time="));
    if (const std::string_view level = AnonymityField(line); !level.empty())
      entry.SetCell(kProxyType,
                    QString::fromUtf8(level.data(), static_cast<qsizetype>(level.size())));
    if (!ParsesAsDateTime(cell(kFirstTestedAt))) {
      if (now_text.isEmpty()) now_text = GeneralDateTimeText(QDateTime::currentDateTime());
      cell(kFirstTestedAt) = now_text;
    }

    if (applied != nullptr) applied->push_back(entry.id);
    first_changed = first_changed < 0 ? row : std::min(first_changed, row);
    last_changed = std::max(last_changed, row);
  }

  if (first_changed > 0) list.NotifyRowsChanged(first_changed, last_changed);
  return successes;
}

}  // namespace ph
