// How long one shot takes, against what it took with GDI+ and what
// TurboJPEG alone takes.
//
// Builds the real main window through the Win32 layer and runs the real
// start-up, as snapwick.exe does (the way of copying the screen chosen as
// at the program's start), then times Capture::CaptureScreen, its screen
// copy and its save on their own, and beside them two probes that copy the
// screen in bands with nothing of Snapwick in between: one saves with GDI+,
// as the program used to, the other with tjCompress2 and one WriteFile.
// The three kinds of shot take turns at going first, so that a drift of
// Wine's speed during the run weighs on all alike. Each round also times,
// side by side, the copy whole and in bands, the compression in one strip
// and in two, and the new file written as shots are written and flushed to
// the disk first. First of all it makes a few hundred shots in a row and
// reports how much the process grew meanwhile.
//
//   snapwick_shot_bench.exe [--rounds N] [--memory-shots N] [--memory-trace K]
//                           [--memory-of-probe] [--sound-off] [--raw]
//
// --memory-trace prints the private bytes every K shots of the memory run;
// --memory-of-probe makes that run with the GDI+ probe, for the system's
// own share; --sound-off silences the shutter, to tell the sound's share;
// --raw prints every round's timings.

#include "platform/win32/windows_inc.h"

#include <commctrl.h>
#include <psapi.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/folders.h"
#include "app/main_window_logic.h"
#include "bench_stats.h"
#include "capture/capture.h"
#include "gdiplus_probe.h"
#include "jpeg/shot_encoder.h"
#include "platform/win32/dpi_win.h"
#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"
#include "state/app_state.h"
#include "turbojpeg_probe.h"

namespace snapwick::bench {
namespace {

jpeg::Pixels PixelsOf(const Frame& f) {
  return {f.pixels, f.width, f.height, f.stride, f.bottomUp, jpeg::PixelOrder::Bgrx};
}

struct Options {
  int rounds = 100;
  int memoryShots = 500;
  int memoryTrace = 0;         // also print the reading every this many shots
  bool memoryOfProbe = false;  // the memory run shoots with the probe instead
  bool soundOff = false;       // to tell the shutter sound's share of a shot
  bool raw = false;            // also print every round's timings
};

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--rounds") == 0 && hasValue) {
      o.rounds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--memory-shots") == 0 && hasValue) {
      o.memoryShots = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--memory-trace") == 0 && hasValue) {
      o.memoryTrace = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--memory-of-probe") == 0) {
      o.memoryOfProbe = true;
    } else if (std::strcmp(argv[i], "--sound-off") == 0) {
      o.soundOff = true;
    } else if (std::strcmp(argv[i], "--raw") == 0) {
      o.raw = true;

    } else {
      return false;
    }
  }
  return o.rounds >= 1 && o.memoryShots >= 2;
}

// Lets the window handle what arrived meanwhile, as its message loop would
// between two ticks. The timer's own ticks run too; the hotkey is not down.
void PumpMessages() {
  MSG msg{};
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void PumpFor(DWORD ms) {
  const DWORD end = ::GetTickCount() + ms;
  PumpMessages();
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    ::Sleep(10);
    PumpMessages();
  }
}

constexpr DWORD kSettleMs = 500;  // the shutter sound lasts 0.16 s

struct PrivateBytes {
  std::int64_t bytes = -1;
  const char* source = "unavailable";
};

// The process's private bytes. Wine 8 leaves PrivateUsage at 0 and fills
// PagefileUsage (which Windows keeps equal to it) with the Unix process's
// anonymous resident memory plus swap, so that is read when the first is 0.
PrivateBytes ReadPrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
    return {};
  }
  if (counters.PrivateUsage != 0) {
    return {static_cast<std::int64_t>(counters.PrivateUsage), "PrivateUsage"};
  }
  return {static_cast<std::int64_t>(counters.PagefileUsage),
          "PagefileUsage (PrivateUsage reads 0, as under Wine)"};
}

// A folder of its own under the user's temporary folder, emptied and
// removed at the end.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
    if (n == 0 || n > MAX_PATH) return;
    std::wstring path =
        std::wstring(base) + L"snapwick-shot-bench-" + std::to_wstring(::GetCurrentProcessId());
    if (::CreateDirectoryW(path.c_str(), nullptr)) path_ = path;
  }
  ~TempFolder() {
    if (path_.empty()) return;
    DeleteJpegs();
    ::RemoveDirectoryW(path_.c_str());
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& Path() const { return path_; }

  // Deletes every JPEG in the folder; returns how many there were and, in
  // `bytes`, the size of the last one.
  int DeleteJpegs(std::int64_t* bytes = nullptr) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((path_ + L"\\*.jpg").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
      if (bytes)
        *bytes = (static_cast<std::int64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
      if (::DeleteFileW((path_ + L"\\" + found.cFileName).c_str())) ++count;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return count;
  }

 private:
  std::wstring path_;
};

// What a shot must not exceed, as a share of a probe's shot (medians).
constexpr double kMostOfGdiplus = 0.4;
constexpr double kMostOfTurboJpeg = 1.1;

struct ProbeSeries {
  std::vector<double> shot, copy, save;
  std::int64_t bytes = 0;  // the last file's size
};

struct Series {
  std::vector<double> shot, copy, save;  // Snapwick
  std::vector<double> copyWhole, copyBands;
  std::vector<double> encodeOne, encodeTwo;
  std::vector<double> writeCached, writeFlushed;
  ProbeSeries gdiplus, turbo;
  std::vector<double> gdiplusRatio, turboRatio;  // shot / probe shot, round by round
};

void PrintRow(const char* label, const std::vector<double>& ms) {
  const Summary s = Summarize(ms);
  std::printf("  %-44s n=%-4zu min %7.1f  median %7.1f  max %7.1f ms\n", label, s.count, s.min,
              s.median, s.max);
}

void PrintRatio(const char* label, const std::vector<double>& shot,
                const std::vector<double>& probe, const std::vector<double>& perRound,
                double most) {
  const double ratio = Summarize(shot).median / Summarize(probe).median;
  std::printf("  %-44s %.3f (target <= %.2f) %s; median of the rounds' ratios %.3f\n", label, ratio,
              most, ratio <= most ? "MET" : "MISSED", Summarize(perRound).median);
}

void PrintGrowth(const char* when, bool ofProbe, int shots, const PrivateBytes& first,
                 const PrivateBytes& last) {
  const std::int64_t growth = last.bytes - first.bytes;
  const double growthMb = static_cast<double>(growth) / (1024.0 * 1024.0);
  std::printf(
      "    %-16s after %s shot 1: %lld, after shot %d: %lld, growth %lld bytes = %.2f MB "
      "(target < 2 MB) %s\n",
      when, ofProbe ? "probe" : "CaptureScreen", static_cast<long long>(first.bytes), shots,
      static_cast<long long>(last.bytes), static_cast<long long>(growth), growthMb,
      first.bytes > 0 && growthMb < 2.0 ? "MET" : "MISSED");
}

int Run(const Options& o) {
  // As the program's entry does, before any window exists.
  win32::EnablePerMonitorDpiAwareness();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);

  win32::Win32Platform platform(::GetModuleHandleW(nullptr));
  // Start-up creates pic\ beside the program; a folder it made here is
  // taken away again if it stayed empty.
  const auto exeFolder = platform.ProgramFolder();
  const std::wstring startupPic =
      exeFolder ? win32::Widen(DeriveFolders(*exeFolder, platform.PathSeparator()).pic) : L"";
  const bool picExisted =
      !startupPic.empty() && ::GetFileAttributesW(startupPic.c_str()) != INVALID_FILE_ATTRIBUTES;

  MainWindowLogic logic(platform);
  if (!platform.CreateMainWindow(logic)) {
    std::printf("shot_bench: the window closed during start-up (another copy running?)\n");
    return 1;
  }
  // However the run ends, the program's own close: the tray icon and the
  // hook go, the window ends.
  struct CloseAtEnd {
    win32::Win32Platform& p;
    ~CloseAtEnd() {
      p.CloseWindow();
      PumpMessages();
    }
  } closeAtEnd{platform};
  platform.ShowMainWindow();
  PumpFor(500);

  // As the program's entry does, but waited for: the shots below are timed
  // the way the program will copy.
  const auto chosen = platform.Grabber().ChooseMode(win32::kCopyModeRounds);
  const win32::CopyMode mode = platform.Grabber().Mode();
  const char* modeName = mode == win32::CopyMode::Bands ? "in bands" : "whole";

  TempFolder temp;
  GdiplusProbe probe;
  TurboJpegProbe turbo;
  if (temp.Path().empty() || !probe.Ready() || !turbo.Ready()) {
    std::printf("shot_bench: no temporary folder, no probe bitmap or no compressor\n");
    return 1;
  }
  // The state start-up left, its shots sent to the temporary folder.
  AppState state = logic.State();
  state.picFolder = win32::Narrow(temp.Path());
  if (o.soundOff) state.soundOn = 0;
  const std::wstring probePath = temp.Path() + L"\\probe.jpg";

  Capture capture;
  // Compresses as the capture's own encoder does.
  jpeg::ShotEncoder asShots(jpeg::UsableCores() >= 2);
  jpeg::ShotEncoder oneStrip(false);
  jpeg::ShotEncoder twoStrips(true);
  std::printf(
      "shot_bench: screen %dx%d, quality %d, sound %s, %d usable cores (shots in %s), copy %s%s, "
      "shots into %s\n",
      ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), state.quality,
      state.soundOn ? "on" : "off", jpeg::UsableCores(),
      jpeg::UsableCores() >= 2 ? "two strips" : "one strip", modeName,
      chosen ? " (chosen at start)" : " (no choice: the copies failed)", state.picFolder.c_str());

  int failures = 0;
  int captures = 0;
  std::int64_t snapwickBytes = 0;
  Series s;

  // Memory first, so that its first shot is the process's first.
  std::vector<double> alone;
  PrivateBytes afterFirst, afterLast, settledFirst, settledLast;
  for (int i = 1; i <= o.memoryShots; ++i) {
    const Stopwatch t;
    if (o.memoryOfProbe) {
      if (probe.Shot(probePath).status != 0 || temp.DeleteJpegs(&s.gdiplus.bytes) != 1) {
        ++failures;
      }
    } else {
      const Failure error = capture.CaptureScreen(platform, state);
      ++captures;
      if (error || temp.DeleteJpegs(&snapwickBytes) != 1) ++failures;
    }
    alone.push_back(t.ElapsedMs());
    if (o.memoryTrace > 0 && (i == 1 || i % o.memoryTrace == 0)) {
      std::printf("  private bytes after shot %4d: %lld\n", i,
                  static_cast<long long>(ReadPrivateBytes().bytes));
    }
    if (i == 1 || i == o.memoryShots) {
      // At once, and again once the shutter sound, which plays on a thread
      // of its own, has ended.
      (i == 1 ? afterFirst : afterLast) = ReadPrivateBytes();
      PumpFor(kSettleMs);
      (i == 1 ? settledFirst : settledLast) = ReadPrivateBytes();
    }
    PumpMessages();
  }

  const auto snapwickShot = [&] {
    const Stopwatch t;
    const Failure error = capture.CaptureScreen(platform, state);
    s.shot.push_back(t.ElapsedMs());
    ++captures;
    if (error || temp.DeleteJpegs(&snapwickBytes) != 1) ++failures;
    PumpMessages();
  };
  const auto record = [&](ProbeSeries& series, const ProbeTimes& t) {
    series.shot.push_back(t.shotMs);
    series.copy.push_back(t.copyMs);
    series.save.push_back(t.saveMs);
    if (t.status != 0 || temp.DeleteJpegs(&series.bytes) != 1) ++failures;
    PumpMessages();
  };
  const auto gdiplusShot = [&] { record(s.gdiplus, probe.Shot(probePath)); };
  const auto turboShot = [&] { record(s.turbo, turbo.Shot(probePath, state.quality)); };
  for (int round = 0; round < o.rounds; ++round) {
    // The three kinds of shot take turns at going first. Whatever comes
    // first in a round follows the previous round's other steps, and what
    // follows Snapwick's shot runs while its shutter sound is still being
    // handled on its thread; the rotation gives each the same share of both.
    switch (round % 3) {
      case 0:
        snapwickShot();
        gdiplusShot();
        turboShot();
        break;
      case 1:
        gdiplusShot();
        turboShot();
        snapwickShot();
        break;
      default:
        turboShot();
        snapwickShot();
        gdiplusShot();
        break;
    }
    s.gdiplusRatio.push_back(s.shot.back() / s.gdiplus.shot.back());
    s.turboRatio.push_back(s.shot.back() / s.turbo.shot.back());
    std::optional<Frame> frame;
    {  // Snapwick's copy alone: the screen into the layer's bitmap.
      const Stopwatch t;
      frame = platform.Grabber().Grab();
      s.copy.push_back(t.ElapsedMs());
      if (!frame) ++failures;
      PumpMessages();
    }
    const std::string savePath = state.picFolder + "\\save" + std::to_string(round) + ".jpg";
    {  // Snapwick's save alone: that copy compressed and written as a new file.
      const Stopwatch t;
      const bool saved = frame &&
                         asShots.Encode(PixelsOf(*frame), state.quality) == jpeg::Encoded::Ok &&
                         platform.WriteNewFile(savePath, asShots.Parts()) == NewFile::Written;
      s.save.push_back(t.ElapsedMs());
      if (!saved || temp.DeleteJpegs() != 1) ++failures;
      PumpMessages();
    }
    // Side by side: the two ways of copying, the two compressions, the two
    // ways of writing, taking turns at going first.
    for (const auto way : round % 2 ? std::array{win32::CopyMode::Whole, win32::CopyMode::Bands}
                                    : std::array{win32::CopyMode::Bands, win32::CopyMode::Whole}) {
      platform.Grabber().SetMode(way);
      const Stopwatch t;
      frame = platform.Grabber().Grab();
      (way == win32::CopyMode::Whole ? s.copyWhole : s.copyBands).push_back(t.ElapsedMs());
      if (!frame) ++failures;
    }
    platform.Grabber().SetMode(mode);
    for (jpeg::ShotEncoder* encoder :
         round % 2 ? std::array{&oneStrip, &twoStrips} : std::array{&twoStrips, &oneStrip}) {
      const Stopwatch t;
      const bool ok =
          frame && encoder->Encode(PixelsOf(*frame), state.quality) == jpeg::Encoded::Ok;
      (encoder == &oneStrip ? s.encodeOne : s.encodeTwo).push_back(t.ElapsedMs());
      if (!ok) ++failures;
    }
    for (const auto durability :
         round % 2 ? std::array{win32::Durability::Cached, win32::Durability::Flushed}
                   : std::array{win32::Durability::Flushed, win32::Durability::Cached}) {
      platform.SetShotDurability(durability);
      const Stopwatch t;
      const NewFile written = platform.WriteNewFile(savePath, twoStrips.Parts());
      (durability == win32::Durability::Cached ? s.writeCached : s.writeFlushed)
          .push_back(t.ElapsedMs());
      if (written != NewFile::Written || temp.DeleteJpegs() != 1) ++failures;
    }
    platform.SetShotDurability(win32::Durability::Cached);
    PumpMessages();
  }

  if (o.raw) {
    std::printf("round  shot  copy  save  gdiplus  -copy  -save  turbojpeg  -copy  -save (ms)\n");
    for (int i = 0; i < o.rounds; ++i) {
      const auto k = static_cast<std::size_t>(i);
      std::printf("%5d %5.1f %5.1f %5.1f %8.1f %6.1f %6.1f %10.1f %6.1f %6.1f\n", i + 1, s.shot[k],
                  s.copy[k], s.save[k], s.gdiplus.shot[k], s.gdiplus.copy[k], s.gdiplus.save[k],
                  s.turbo.shot[k], s.turbo.copy[k], s.turbo.save[k]);
    }
  }
  std::printf(
      "shot_bench: %d rounds, each: Snapwick shot, GDI+ probe shot and TurboJPEG probe "
      "shot (taking turns at going first), Snapwick copy, Snapwick save\n",
      o.rounds);
  PrintRow("Snapwick shot  CaptureScreen", s.shot);
  PrintRow("Snapwick copy  GrabScreen", s.copy);
  PrintRow("Snapwick save  encode, WriteNewFile", s.save);
  PrintRow("side by side: copy whole", s.copyWhole);
  PrintRow("side by side: copy in bands", s.copyBands);
  PrintRow("side by side: encode in one strip", s.encodeOne);
  PrintRow("side by side: encode in two strips", s.encodeTwo);
  PrintRow("side by side: WriteNewFile as shots are", s.writeCached);
  PrintRow("side by side: WriteNewFile flushed first", s.writeFlushed);
  PrintRow("GDI+ probe shot", s.gdiplus.shot);
  PrintRow("GDI+ probe copy  metrics, GetDC, BitBlt", s.gdiplus.copy);
  PrintRow("GDI+ probe save  GdiplusStartup..Shutdown", s.gdiplus.save);
  PrintRow("TurboJPEG probe shot", s.turbo.shot);
  PrintRow("TurboJPEG probe copy  metrics, GetDC, BitBlt", s.turbo.copy);
  PrintRow("TurboJPEG probe save  tjCompress2, WriteFile", s.turbo.save);
  PrintRow(o.memoryOfProbe ? "GDI+ probe shot, memory run (not interleaved)"
                           : "Snapwick shot, memory run (not interleaved)",
           alone);
  PrintRatio("Snapwick shot / GDI+ probe shot:", s.shot, s.gdiplus.shot, s.gdiplusRatio,
             kMostOfGdiplus);
  PrintRatio("Snapwick shot / TurboJPEG probe shot:", s.shot, s.turbo.shot, s.turboRatio,
             kMostOfTurboJpeg);
  std::printf(
      "  JPEG sizes: Snapwick %lld bytes, GDI+ probe %lld bytes, TurboJPEG probe %lld "
      "bytes\n",
      static_cast<long long>(snapwickBytes), static_cast<long long>(s.gdiplus.bytes),
      static_cast<long long>(s.turbo.bytes));
  std::printf("  private bytes, from %s:\n", afterLast.source);
  PrintGrowth("read at once", o.memoryOfProbe, o.memoryShots, afterFirst, afterLast);
  PrintGrowth("read 0.5 s later", o.memoryOfProbe, o.memoryShots, settledFirst, settledLast);
  std::printf("  CaptureScreen calls %d, failed shots or missing files %d\n", captures, failures);
  std::printf("median_shot_ms=%.1f\n", Summarize(s.shot).median);
  std::fflush(stdout);

  if (!picExisted && !startupPic.empty()) ::RemoveDirectoryW(startupPic.c_str());
  return failures == 0 ? 0 : 2;
}

}  // namespace
}  // namespace snapwick::bench

int main(int argc, char** argv) {
  snapwick::bench::Options options;
  if (!snapwick::bench::ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: snapwick_shot_bench.exe [--rounds N>=1] [--memory-shots N>=2] "
                 "[--memory-trace K] [--memory-of-probe] [--sound-off] [--raw]\n");
    return 64;
  }
  return snapwick::bench::Run(options);
}
