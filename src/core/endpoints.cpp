#include "core/endpoints.h"

#include "core/bounded_read.h"
#include "core/gbk.h"
#include "core/program_dir.h"

#include <QFileInfo>

#include <algorithm>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

struct EndpointInfo {
  Endpoint id;
  QLatin1StringView name;
  QLatin1StringView default_base;
};

// The services' public hosts. A test target's host keeps its word (sina, ip138, ...),
// by which the probe picks the text it looks for.
constexpr std::array<EndpointInfo, kEndpointCount> kEndpoints{{
    {Endpoint::TestSina, "test_sina"_L1, "http://int.dpool.sina.com.cn"_L1},
    {Endpoint::TestIp138, "test_ip138"_L1, "http://2019.ip138.com"_L1},
    {Endpoint::TestChinaz, "test_chinaz"_L1, "http://ip.chinaz.com"_L1},
    {Endpoint::TestTaobao, "test_taobao"_L1, "https://www.taobao.com"_L1},
    {Endpoint::TestBaidu, "test_baidu"_L1, "https://www.baidu.com"_L1},
    {Endpoint::TestWeibo, "test_weibo"_L1, "https://weibo.com"_L1},
    {Endpoint::Xicidaili, "xicidaili"_L1, "http://www.xicidaili.com"_L1},
    {Endpoint::Ip66, "ip66"_L1, "http://www.66ip.cn"_L1},
    {Endpoint::Info126, "info_126"_L1, "http://ip.ws.126.net"_L1},
    {Endpoint::InfoIp138Page, "info_ip138_page"_L1, "http://2019.ip138.com"_L1},
    {Endpoint::InfoTaobao, "info_taobao"_L1, "http://ip.taobao.com"_L1},
    {Endpoint::InfoSina, "info_sina"_L1, "http://int.dpool.sina.com.cn"_L1},
    {Endpoint::InfoBaiduMap, "info_baidu_map"_L1, "http://api.map.baidu.com"_L1},
    {Endpoint::InfoIp138Query, "info_ip138_query"_L1, "http://api.ip138.com"_L1},
    {Endpoint::InfoJuhe, "info_juhe"_L1, "http://apis.juhe.cn"_L1},
    // Echoes the request's headers and where it came from.
    {Endpoint::Judge, "judge"_L1, "http://httpbin.org/get?show_env=1"_L1},
}};

const EndpointInfo& Info(Endpoint e) { return kEndpoints[static_cast<int>(e)]; }

QString WithoutTrailingSlash(QString base) {
  while (base.endsWith(u'/')) base.chop(1);
  return base;
}

bool LooksLikeBaseUrl(const QString& value) {
  return (value.startsWith("http://"_L1) || value.startsWith("https://"_L1)) && value.size() > 8 &&
         !value.contains(u' ');
}

}  // namespace

Endpoints::Endpoints() {
  for (const EndpointInfo& info : kEndpoints)
    bases_[static_cast<int>(info.id)] = QString(info.default_base);
}

Endpoints::Endpoints(const ProgramDir& dir) : Endpoints() { Load(dir.File(u"endpoints.ini"_s)); }

void Endpoints::Load(const QString& path) {
  if (!QFileInfo(path).exists()) return;
  const FileRead file = ReadRegularFile(path, kMostSettingsFileBytes);
  if (!file.problem.isEmpty()) {
    problems_.append(u"无法读取文件: "_s + file.problem);
    return;
  }
  const QString text = FromGbk(file.content.bytes);
  for (QString line : text.split(u'\n')) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';')) continue;
    const qsizetype eq = line.indexOf(u'=');
    const QString name = eq < 0 ? QString() : line.left(eq).trimmed();
    const QString value = eq < 0 ? QString() : WithoutTrailingSlash(line.mid(eq + 1).trimmed());
    const auto known = std::find_if(kEndpoints.begin(), kEndpoints.end(),
                                    [&](const EndpointInfo& info) { return info.name == name; });
    if (known == kEndpoints.end() || !LooksLikeBaseUrl(value)) {
      problems_.append(line);
      continue;
    }
    bases_[static_cast<int>(known->id)] = value;
  }
}

const QString& Endpoints::Base(Endpoint e) const { return bases_[static_cast<int>(e)]; }

QString Endpoints::Url(Endpoint e, const QString& path_and_query) const {
  return Base(e) + path_and_query;
}

QString Endpoints::DefaultBase(Endpoint e) { return QString(Info(e).default_base); }

}  // namespace ph
