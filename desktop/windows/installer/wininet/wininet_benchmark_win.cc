// Download speed of WinInetDownloader over loopback into a file, run by
// hand under Wine. Without arguments it starts the shared test server with
// a 163 MB file; with a URL it fetches that instead (so that another client
// can be timed against the same server). Prints MB/s (10^6 bytes per
// second) for each of five runs.
//
//   wine installer_wininet_benchmark.exe [url]

#include <stdio.h>

#include <memory>
#include <string>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/time/time.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "desktop/windows/installer/test/recording_ui_callback_runner.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"

namespace {

constexpr size_t kFileSize = 163 * 1000 * 1000;
constexpr int kRuns = 5;

}  // namespace

int main(int argc, char** argv) {
  base::CommandLine::Init();
  base::MessageLoop loop;
  installer::test::LocalHttpServer server;
  std::u16string url;
  if (argc > 1) {
    url = base::UTF8ToUTF16(argv[1]);
  } else {
    if (!server.Start() ||
        !server.ServeFile("payload.bin", std::string(kFileSize, 'v'))) {
      fprintf(stderr, "cannot start the test server\n");
      return 1;
    }
    url = server.Url("/files/payload.bin");
  }
  base::ScopedTempDir dir;
  if (!dir.CreateUniqueTempDir()) return 1;
  const base::FilePath target = dir.GetPath().AppendASCII("payload.bin");

  installer::test::RecordingUICallbackRunner ui_runner;
  installer::WinInetDownloader downloader(&ui_runner, nullptr);
  for (int run = 0; run < kRuns; ++run) {
    auto writer = std::make_unique<installer::FileResponseWriter>();
    if (!writer->Open(target)) return 1;
    base::RunLoop run_loop;
    const base::TimeTicks start = base::TimeTicks::Now();
    if (!downloader.Start(url, std::string(), run_loop.QuitClosure(),
                          std::move(writer),
                          std::make_unique<installer::DownloadObserver>()))
      return 1;
    run_loop.Run();
    const double seconds = (base::TimeTicks::Now() - start).InSecondsF();
    int64_t size = 0;
    base::FileUtil::GetFileSize(target, &size);
    printf("run %d: state %d, %lld bytes in %.3f s: %.0f MB/s\n", run,
           downloader.state(), static_cast<long long>(size), seconds,
           size / seconds / 1e6);
  }
  return 0;
}
