#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ph {

class ProxyList;
class ProbeTally;

// A result record is one line of "key=value;" fields: lvid, suc, statu, timeout, http, https,
// time, error and errnum, and anon last when the proxy's anonymity level is known. The probe
// writes it on a worker thread; the window's thread reads it back into the row that lvid
// names.

// What one probe found.
struct ProbeOutcome {
  int suc = 0;         // position of the match text in the answer, 0 when absent
  bool http = false;   // the HTTP test page answered
  bool https = false;  // the HTTPS test page answered
  long status = 0;     // HTTP status of the last request
  long elapsed_ms = 0;
  bool failed = false;  // a request failed: the error form
  std::string error;    // why it failed, its phase first; or why a page did not match
  long error_number = 0;
  std::string anonymity;  // the judge's level, UTF-8; empty when unknown
};

// The record of an outcome for the row lvid, with the local time of now. Holds no line break.
std::string WriteResultRecord(int64_t lvid, const ProbeOutcome& outcome);

// The value of "key=" (key given with its "="), up to the next ";"; "Nothing" when absent.
std::string_view RecordField(std::string_view line, std::string_view key);

// Applies records (one per CR LF line) to the rows whose RowId their lvid is, with one view
// update; a record whose row is gone is dropped. A level in anon goes into the proxy type.
// Returns the number of successful results applied. Each record applied is counted in the
// tally, and its row added to applied, when they are given.
int ApplyResultRecords(ProxyList& list, std::string_view records, ProbeTally* tally = nullptr,
                       std::vector<uint64_t>* applied = nullptr);

}  // namespace ph
