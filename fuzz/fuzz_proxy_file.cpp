// Importing an arbitrary "Zxproxyinfo.txt" and applying arbitrary result records.
#include "commands/file_commands.h"
#include "core/app_state.h"
#include "core/front_end.h"
#include "core/program_dir.h"
#include "listio/proxy_file.h"
#include "validate/result_record.h"

#include "fuzz_support.h"

#include <QFile>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

class SilentWindow : public ph::FrontEnd {
 public:
  void SetListVisible(bool) override {}
  ph::MessageAnswer ShowMessage(const QString&, const QString&, ph::MessageIcon,
                                ph::MessageButtons) override {
    return ph::MessageAnswer::Yes;
  }
  std::optional<QString> AskText(const QString&, const QString&) override { return {}; }
  QString ClipboardText() const override { return {}; }
  void SetClipboardText(const QString&) override {}
  void HideWindow() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ph::fuzz::EnsureApplication();
  QTemporaryDir& dir = ph::fuzz::Scratch();
  static SilentWindow window;

  QFile file(dir.filePath(ph::kProxyFileName));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
  file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  file.close();

  ph::AppState state(window, ph::ProgramDir(dir.path()));
  ph::ImportProxyFile(state);
  ph::ApplyResultRecords(state.List(), std::string_view(reinterpret_cast<const char*>(data), size));
  ph::ExportProxyFile(state);
  return 0;
}
