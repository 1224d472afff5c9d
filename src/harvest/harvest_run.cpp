#include "harvest/harvest_run.h"

#include "core/app_state.h"
#include "core/ipv4_text.h"
#include "core/numbers.h"
#include "iploc/database_file.h"
#include "web/web_fetch.h"

#include <QTimer>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The 66ip step shows its warning and lets the window draw it before the long request.
constexpr int kBefore66ipMs = 10;

}  // namespace

HarvestRun::HarvestRun(AppState& state, QObject* parent)
    : QObject(parent),
      state_(state),
      walk_(state.Dir(), state.EndpointTable(), this),
      fill_(state.List(), state.Dir(), state.EndpointTable(), this),
      sources_path_(state.Dir().File(u"sources.ini"_s)) {
  pause_.setSingleShot(true);
  pause_.setTimerType(Qt::PreciseTimer);  // a pause is never shorter than asked
  connect(&fill_, &RegionFill::Progress, this, &HarvestRun::ReportProgress);
}

void HarvestRun::Start() {
  category_ = 0;
  in_category_ = false;
  pages_done_ = 0;
  After(0, [this] { NextPage(); });
}

int HarvestRun::PagesToFetch() const {
  int pages = 0;
  const int per_category = std::max<int>(state_.Config().Working().HarvestPages, 0);
  for (const XiciCategory& category : XiciCategories())
    if (state_.Config().On(category.check)) pages += per_category;
  return std::max(pages, pages_done_);
}

void HarvestRun::NextPage() {
  const std::span<const XiciCategory> categories = XiciCategories();
  while (category_ < categories.size()) {
    const XiciCategory& category = categories[category_];
    // A category's box is read when the run reaches it, the pages as last applied.
    if (!in_category_) {
      if (!state_.Config().On(category.check)) {
        ++category_;
        continue;
      }
      in_category_ = true;
      page_ = 0;
    }
    if (page_ < state_.Config().Working().HarvestPages) {
      ++page_;
      if (!KeepGoing()) {
        End();  // stopped: the status text and StopGet stay as the stop left them
        return;
      }
      ReportProgress(pages_done_, PagesToFetch());
      if (page_ == 1) emit SourceStarted(QString::fromUtf16(category.name));
      state_.StatusBar().SetText(XiciStatusText(category, page_));
      const QString url = state_.EndpointTable().Url(
          Endpoint::Xicidaili, QString::fromUtf16(category.path) + QString::number(page_));
      FetchAsync(url, FetchMode::DeclaredCharset, kFetchTimeoutMs, this,
                 [this](const QString& page) { OnPage(page); });
      return;
    }
    in_category_ = false;
    ++category_;
  }
  Start66ip();
}

void HarvestRun::OnPage(const QString& page) {
  ++pages_done_;
  ReportProgress(pages_done_, PagesToFetch());
  std::vector<HarvestedRow> rows = ParseXiciPage(page, XiciCategories()[category_]);
  if (rows.empty()) {
    Pause([this] { NextPage(); });
    return;
  }
  if (!KeepGoing()) {
    End();  // the page that came after a stop adds nothing
    return;
  }
  AppendLocated(std::move(rows), [this] { Pause([this] { NextPage(); }); });
}

void HarvestRun::Start66ip() {
  if (!state_.Config().On(&SettingsPanel::Check3)) {
    StartListSources();
    return;
  }
  emit SourceStarted(u"66代理"_s);
  state_.StatusBar().SetText(
      u"即将采集66IP的数据,改数据量较大,会造成程序假死的状态,省略并稍微等待即可!"_s);
  After(kBefore66ipMs, [this] {
    const QString url = state_.EndpointTable().Url(Endpoint::Ip66, Ip66PathAndQuery());
    FetchAsync(url, FetchMode::DeclaredCharset, kFetchTimeoutMs, this,
               [this](const QString& reply) { On66ipReply(reply); });
  });
}

void HarvestRun::On66ipReply(const QString& reply) {
  const Ip66Reply parsed = Parse66ipReply(reply);
  if (!parsed.has_data) {
    state_.StatusBar().SetText(parsed.no_data_text);
    After(no_data_pause_ms_, [this] {
      // A user who ticked 公开列表 still gets its lists, the fill-in and the final status.
      if (state_.Config().On(&SettingsPanel::Check9)) {
        StartListSources();
        return;
      }
      // The early end: no fill-in and no final status.
      state_.StatusBar().SetText(u"采集完成..."_s);
      End();
    });
    return;
  }
  if (parsed.lines.size() >= 2)
    state_.StatusBar().SetText(u"正在获取IP地址,可能会出现假死的状态,请稍等..."_s);
  std::vector<HarvestedRow> rows;
  for (const QString& line : parsed.lines)
    if (line.contains(u':')) rows.push_back(Ip66Row(line));
  AppendLocated(std::move(rows), [this] { Pause([this] { StartListSources(); }); });
}

void HarvestRun::StartListSources() {
  if (!state_.Config().On(&SettingsPanel::Check9)) {
    FillIn();
    return;
  }
  // Read anew for every harvest, so an edit counts without a restart.
  SourcesFile file = ReadSourcesFile(sources_path_);
  if (!file.problems.isEmpty())
    state_.StatusBar().SetProblem(SourcesProblemText(sources_path_, file.problems));
  list_sources_ = std::move(file.sources);
  source_ = 0;
  seen_.Clear();
  NextListSource();
}

void HarvestRun::NextListSource() {
  if (source_ >= list_sources_.size()) {
    FillIn();
    return;
  }
  if (!KeepGoing()) {
    End();  // stopped: the status text and StopGet stay as the stop left them
    return;
  }
  ReportProgress(static_cast<int>(source_), static_cast<int>(list_sources_.size()));
  const ListSource& source = list_sources_[source_];
  emit SourceStarted(source.name);
  state_.StatusBar().SetText(u"正在采集公开列表 "_s + source.name + u"..."_s);
  if (source.is_file) {
    OnList(ReadListFile(source.location, kMostListBytes));
    return;
  }
  FetchBytesAsync(source.location, kFetchTimeoutMs, kMostListBytes, this,
                  [this](const FetchedBody& body) { OnList(body); });
}

void HarvestRun::OnList(const FetchedBody& body) {
  const ListSource& source = list_sources_[source_++];
  const auto next = [this] { Pause([this] { NextListSource(); }); };
  // A web list answered with an error page holds no list.
  if (!body.ok || (!source.is_file && (body.status < 200 || body.status > 299))) {
    const QString problem = u"公开列表 "_s + source.name + u" 读取失败"_s;
    state_.StatusBar().SetProblem(problem);
    emit ListSourceRead({source.name, 0, problem});
    next();
    return;
  }
  ListExtract found = ExtractListAddresses(body.cut ? WithoutLastWord(body.bytes) : body.bytes,
                                           source.bare, kMostListAddresses);
  if (found.cut) {
    state_.StatusBar().SetText(
        u"公开列表 %1 超过 %2 个地址,只取前 %2 个"_s.arg(source.name).arg(kMostListAddresses));
  } else if (body.cut) {
    state_.StatusBar().SetText(u"公开列表 %1 超过 %2 MB,只读取前 %2 MB"_s.arg(source.name)
                                   .arg(kMostListBytes / (1024 * 1024)));
  }
  DropSeen(found.addresses, seen_);
  if (found.addresses.empty()) {
    emit ListSourceRead({source.name, 0, {}});
    next();
    return;
  }
  if (!KeepGoing()) {
    End();  // the list that came after a stop adds nothing
    return;
  }
  emit ListSourceRead({source.name, static_cast<int>(found.addresses.size()), {}});
  // Regions come from the database; without one the fill-in deals with these rows as with
  // every other row, instead of one web request per address here.
  const bool locate = OpenDatabaseFile(state_.Dir()).has_value();
  std::vector<HarvestedRow> rows;
  rows.reserve(found.addresses.size());
  for (const ListAddress& address : found.addresses)
    rows.push_back({address.Cell(), {}, {}, locate ? Ipv4Text(address.ip) : QString()});
  AppendLocated(std::move(rows), next);
}

void HarvestRun::FillIn() {
  if (!region_fill_) {
    Finish();
    return;
  }
  emit SourceStarted(u"查询地区"_s);
  fill_.Start([this] { Finish(); });
}

void HarvestRun::Finish() {
  state_.StatusBar().SetText(u"数据验证完成..."_s);
  state_.StatusBar().SetText(u"采集完成..."_s);
  End();
}

void HarvestRun::End() { emit Finished(); }

void HarvestRun::ReportProgress(int done, int total) {
  state_.StatusBar().ReportProgress(Job::kHarvest, done, total);
}

void HarvestRun::AppendLocated(std::vector<HarvestedRow> rows, std::function<void()> then) {
  auto pending = std::make_shared<std::vector<HarvestedRow>>(std::move(rows));
  auto next = std::make_shared<std::size_t>(0);
  auto current = std::make_shared<std::size_t>(0);
  walk_.Start(
      [pending, next, current]() -> std::optional<QString> {
        while (*next < pending->size()) {
          const std::size_t i = (*next)++;
          if ((*pending)[i].locate.isEmpty()) continue;
          *current = i;
          return (*pending)[i].locate;
        }
        return std::nullopt;
      },
      [pending, current](const QString& location) { (*pending)[*current].region = location; },
      nullptr,
      [this, pending, then = std::move(then)] {
        std::vector<NewRow> cells(pending->size());
        for (std::size_t i = 0; i < pending->size(); ++i) {
          const HarvestedRow& row = (*pending)[i];
          cells[i][kAddress - 1] = row.address;
          cells[i][kRegion - 1] = row.region;
          cells[i][kProxyType - 1] = row.type;
        }
        state_.List().AppendRows(cells);
        then();
      });
}

void HarvestRun::Pause(std::function<void()> then) {
  // The delay is read from the panel at the moment it is needed.
  After(state_.Config().Whole(&SettingsPanel::Text7), std::move(then));
}

void HarvestRun::After(int ms, std::function<void()> then) {
  disconnect(&pause_, &QTimer::timeout, this, nullptr);
  connect(&pause_, &QTimer::timeout, this, std::move(then));
  // Even without a pause the next step waits for the event loop, so steps never nest.
  pause_.start(std::max(ms, 0));
}

}  // namespace ph
