// The Linux benchmark's measuring hand: presses keys with XTest, starts
// the other screenshot tools as whole processes, and times each shot to
// the moment its name holds the whole file (inotify's IN_CLOSE_WRITE for a
// file written in place, IN_CREATE or IN_MOVED_TO for one linked or renamed
// there once whole), as a user pressing a key and waiting for the file
// would. Prints figures only; bench/run-linux.sh sets the stage and calls
// it.
//
//   snapwick_bench_linux latency ROUNDS OUT_DIR PROBE NAME=KEY=PIC...
//   snapwick_bench_linux held SECONDS KEY PIC
//   snapwick_bench_linux memory SHOTS KEY PIC PID
//   snapwick_bench_linux rest SECONDS NAME=PID...
//   snapwick_bench_linux close WINDOW_ID

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Files that have come whole under their names in the folders watched. A
// name holds the whole file when a file written in place is closed
// (IN_CLOSE_WRITE), or when a file written elsewhere is linked (IN_CREATE)
// or renamed (IN_MOVED_TO) to it; a file created in place is still empty
// at its IN_CREATE. So every such event counts once the name holds a
// JPEG's first and last bytes, and each file counts once.
class Closes {
 public:
  Closes() : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {}
  ~Closes() { close(fd_); }
  Closes(const Closes&) = delete;
  Closes& operator=(const Closes&) = delete;

  int Watch(const std::string& folder) {
    const int wd = inotify_add_watch(fd_, folder.c_str(), IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO);
    if (wd < 0) {
      std::perror(folder.c_str());
      std::exit(1);
    }
    folders_[wd] = folder;
    return wd;
  }
  int Fd() const { return fd_; }

  struct Close {
    Clock::time_point at;
    int wd;
    std::string path;
  };
  // Every file that came whole, read now, stamped with the moment it was
  // read.
  std::vector<Close> Read() {
    std::vector<Close> closes;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      const auto now = Clock::now();
      for (char* p = buffer; p < buffer + n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(p);
        if (e->len > 0) {
          std::string path = folders_[e->wd] + "/" + e->name;
          if (NewlyWhole(path)) closes.push_back({now, e->wd, std::move(path)});
        }
        p += sizeof(inotify_event) + e->len;
      }
    }
    return closes;
  }
  // The first close in `wd` before `deadline`.
  std::optional<Close> WaitFirst(int wd, Clock::time_point deadline) {
    for (;;) {
      for (auto& c : Read()) {
        if (c.wd == wd) return c;
      }
      const auto left = deadline - Clock::now();
      if (left <= Clock::duration::zero()) return std::nullopt;
      pollfd p{fd_, POLLIN, 0};
      poll(&p, 1, static_cast<int>(Ms(left)) + 1);
    }
  }

 private:
  // Whether the name holds a whole JPEG now that it did not hold before.
  bool NewlyWhole(const std::string& path) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (file < 0) return false;
    struct stat st {};
    unsigned char head[2] = {}, tail[2] = {};
    const bool whole = fstat(file, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 4 &&
                       pread(file, head, 2, 0) == 2 && pread(file, tail, 2, st.st_size - 2) == 2 &&
                       head[0] == 0xFF && head[1] == 0xD8 && tail[0] == 0xFF && tail[1] == 0xD9;
    close(file);
    if (!whole) return false;
    // The same file's second event (a linked file's close) is not a second
    // file; a new file under an old name has another inode or time.
    const auto key = path + "@" + std::to_string(st.st_ino) + "@" +
                     std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    return counted_.insert(key).second;
  }

  int fd_;
  std::map<int, std::string> folders_;
  std::set<std::string> counted_;
};

class Keyboard {
 public:
  Keyboard() : display_(XOpenDisplay(nullptr)) {
    if (!display_) {
      std::fprintf(stderr, "no X display\n");
      std::exit(1);
    }
  }
  ~Keyboard() { XCloseDisplay(display_); }
  Keyboard(const Keyboard&) = delete;
  Keyboard& operator=(const Keyboard&) = delete;

  // The key of a keysym's name ("F8").
  KeyCode Code(const std::string& name) {
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(name.c_str()));
    if (code == 0) {
      std::fprintf(stderr, "no key %s\n", name.c_str());
      std::exit(2);
    }
    return code;
  }
  void Press(KeyCode code, bool down) {
    XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
    XFlush(display_);
  }

 private:
  Display* display_;
};

struct Figures {
  std::vector<double> ms;
  int failed = 0;
  double Median() const {
    std::vector<double> s = ms;
    std::sort(s.begin(), s.end());
    if (s.empty()) return 0;
    return s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
  }
  void Print(const char* name) const {
    if (ms.empty()) {
      std::printf("  %-34s no shot (%d failed)\n", name, failed);
      return;
    }
    std::printf("  %-34s %8.2f %8.2f %8.2f   (%zu shots%s)\n", name,
                *std::min_element(ms.begin(), ms.end()), Median(),
                *std::max_element(ms.begin(), ms.end()), ms.size(), failed ? ", some failed" : "");
  }
};

void Remove(const std::string& path) { unlink(path.c_str()); }

// Runs `argv` as a whole process and times it from the spawn to the last
// file it closed in `wd` before it ended.
std::optional<double> TimeProcess(Closes& closes, int wd, const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const auto start = Clock::now();
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return std::nullopt;
  const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  std::optional<Closes::Close> last;
  for (bool ended = false; !ended;) {
    pollfd fds[2] = {{closes.Fd(), POLLIN, 0}, {pidFd, POLLIN, 0}};
    poll(fds, 2, 5000);
    ended = (fds[1].revents & POLLIN) != 0;
    for (auto& c : closes.Read()) {
      if (c.wd == wd) last = c;
    }
    if (!ended && Clock::now() - start > std::chrono::seconds(20)) kill(pid, SIGKILL);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(pidFd);
  if (!last || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  Remove(last->path);
  return Ms(last->at - start);
}

struct Probe {
  pid_t pid = 0;
  int in = -1;
};

Probe StartProbe(const std::string& program, const std::string& outDir) {
  int toProbe[2], fromProbe[2];
  if (pipe(toProbe) != 0 || pipe(fromProbe) != 0) std::exit(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toProbe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromProbe[1], 1);
  posix_spawn_file_actions_addclose(&actions, toProbe[1]);
  posix_spawn_file_actions_addclose(&actions, fromProbe[0]);
  const std::string quality = "80";
  char* args[] = {const_cast<char*>(program.c_str()), const_cast<char*>(outDir.c_str()),
                  const_cast<char*>(quality.c_str()), nullptr};
  Probe probe;
  if (posix_spawn(&probe.pid, args[0], &actions, nullptr, args, environ) != 0) std::exit(1);
  posix_spawn_file_actions_destroy(&actions);
  close(toProbe[0]);
  close(fromProbe[1]);
  char ready[16] = {};
  if (read(fromProbe[0], ready, sizeof ready - 1) <= 0) {
    std::fprintf(stderr, "the probe did not start\n");
    std::exit(1);
  }
  close(fromProbe[0]);
  probe.in = toProbe[1];
  return probe;
}

// A running copy of the program: its hotkey and its pic/ folder.
struct Program {
  std::string name;
  std::string key;
  std::string pic;
  KeyCode code = 0;
  int wd = -1;
  Figures figures;
};

int Latency(int rounds, const std::string& out, const std::string& probeProgram,
            std::vector<Program> programs) {
  Closes closes;
  for (Program& p : programs) p.wd = closes.Watch(p.pic);
  const std::string scrotDir = out + "/scrot", importDir = out + "/import",
                    probeDir = out + "/probe";
  for (const auto& d : {scrotDir, importDir, probeDir}) mkdir(d.c_str(), 0755);
  const int scrotWd = closes.Watch(scrotDir), importWd = closes.Watch(importDir),
            probeWd = closes.Watch(probeDir);
  Keyboard keyboard;
  for (Program& p : programs) p.code = keyboard.Code(p.key);
  Probe probe = StartProbe(probeProgram, probeDir);
  Figures scrot, import, bare;

  // Round-robin, so that a change of the machine's load falls on all.
  for (int round = 0; round < rounds; ++round) {
    for (Program& p : programs) {
      const auto start = Clock::now();
      keyboard.Press(p.code, true);
      const auto c = closes.WaitFirst(p.wd, start + std::chrono::seconds(5));
      keyboard.Press(p.code, false);
      if (c) {
        p.figures.ms.push_back(Ms(c->at - start));
        Remove(c->path);
      } else {
        ++p.figures.failed;
      }
      // The program's timer stops one tick after the key is up; the next
      // press is to find it at rest.
      std::this_thread::sleep_for(std::chrono::milliseconds(80));
    }
    if (auto t =
            TimeProcess(closes, scrotWd, {"scrot", "-o", "-q", "80", scrotDir + "/scrot.jpg"})) {
      scrot.ms.push_back(*t);
    } else {
      ++scrot.failed;
    }
    if (auto t = TimeProcess(
            closes, importWd,
            {"import", "-window", "root", "-quality", "80", importDir + "/import.jpg"})) {
      import.ms.push_back(*t);
    } else {
      ++import.failed;
    }
    {
      const auto start = Clock::now();
      const char byte = 1;
      if (write(probe.in, &byte, 1) != 1) std::exit(1);
      const auto c = closes.WaitFirst(probeWd, start + std::chrono::seconds(5));
      if (c) {
        bare.ms.push_back(Ms(c->at - start));
        Remove(c->path);
      } else {
        ++bare.failed;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  close(probe.in);
  waitpid(probe.pid, nullptr, 0);

  std::printf(
      "key down (XTest, flushed) or start to the whole file under its name, ms over %d "
      "rounds:\n",
      rounds);
  std::printf("  %-34s %8s %8s %8s\n", "", "min", "median", "max");
  int failed = bare.failed;
  for (const Program& p : programs) {
    p.figures.Print((p.name + " (" + p.key + " down -> file)").c_str());
    failed += p.figures.failed;
  }
  scrot.Print("scrot -q 80 (whole process)");
  import.Print("import -window root -quality 80");
  bare.Print("bare probe (XShm+TurboJPEG+write)");
  for (const Program& p : programs) {
    const double median = p.figures.Median();
    if (median <= 0) continue;
    std::printf("  %s: scrot / it %.2f x, import / it %.2f x, it / probe %.3f x (medians)\n",
                p.name.c_str(), scrot.Median() / median, import.Median() / median,
                median / bare.Median());
  }
  if (programs.size() == 2 && programs[0].figures.Median() > 0) {
    std::printf("  %s / %s (medians): %.3f x\n", programs[1].name.c_str(), programs[0].name.c_str(),
                programs[1].figures.Median() / programs[0].figures.Median());
  }
  return failed ? 1 : 0;
}

int Held(double seconds, const std::string& key, const std::string& pic) {
  Closes closes;
  const int wd = closes.Watch(pic);
  Keyboard keyboard;
  const KeyCode code = keyboard.Code(key);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  closes.Read();
  const auto start = Clock::now();
  const auto end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  keyboard.Press(code, true);
  int within = 0, after = 0;
  while (auto c = closes.WaitFirst(wd, end)) {
    ++within;
    Remove(c->path);
  }
  keyboard.Press(code, false);
  while (auto c = closes.WaitFirst(wd, Clock::now() + std::chrono::milliseconds(300))) {
    ++after;
    Remove(c->path);
  }
  std::printf(
      "%s held %.1f s: %d shots within it, %.2f shots/s (the 50 ms tick allows 20.00/s); %d "
      "more after the release\n",
      key.c_str(), seconds, within, within / seconds, after);
  return 0;
}

std::map<std::string, long> ReadFields(const std::string& path) {
  std::map<std::string, long> fields;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    fields[line.substr(0, colon)] = std::atol(line.c_str() + colon + 1);
  }
  return fields;
}

void PrintMemory(pid_t pid, const char* when) {
  const std::string proc = "/proc/" + std::to_string(pid);
  auto status = ReadFields(proc + "/status");
  auto rollup = ReadFields(proc + "/smaps_rollup");
  // Private_Clean is left out: a library's clean pages count as private
  // only until another process maps the same library.
  std::printf("  %-16s RSS %7.2f MB   anonymous %7.2f MB   private dirty %7.2f MB\n", when,
              status["VmRSS"] / 1024.0, status["RssAnon"] / 1024.0,
              rollup["Private_Dirty"] / 1024.0);
}

int Memory(int shots, const std::string& key, const std::string& pic, pid_t pid) {
  Closes closes;
  const int wd = closes.Watch(pic);
  Keyboard keyboard;
  const KeyCode code = keyboard.Code(key);
  std::printf("memory of Snapwick (pid %d), read 0.3 s after the shot:\n", pid);
  int made = 0;
  for (int n = 1; n <= shots; ++n) {
    keyboard.Press(code, true);
    const auto c = closes.WaitFirst(wd, Clock::now() + std::chrono::seconds(5));
    keyboard.Press(code, false);
    if (c) {
      ++made;
      Remove(c->path);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(70));
    if (n == 1 || n == shots) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      PrintMemory(pid, n == 1 ? "after shot 1" : ("after shot " + std::to_string(n)).c_str());
    }
  }
  std::printf("  %d presses, %d shots\n", shots, made);
  return made == shots ? 0 : 1;
}

struct CpuTime {
  long ticks = 0;          // utime + stime, in clock ticks
  long long ns = 0;        // every thread's time on a CPU (schedstat)
  long long switches = 0;  // every thread's context switches: its wake-ups
};

CpuTime ReadCpu(pid_t pid) {
  CpuTime t;
  const std::string proc = "/proc/" + std::to_string(pid);
  std::ifstream stat(proc + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // Fields after the command's closing parenthesis; utime and stime are
  // the 14th and 15th of the whole line.
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i >= 14) t.ticks += std::atol(field.c_str());
  }
  if (DIR* tasks = opendir((proc + "/task").c_str())) {
    while (dirent* e = readdir(tasks)) {
      if (e->d_name[0] == '.') continue;
      const std::string task = proc + "/task/" + e->d_name;
      std::ifstream sched(task + "/schedstat");
      long long onCpu = 0;
      if (sched >> onCpu) t.ns += onCpu;
      auto status = ReadFields(task + "/status");
      t.switches += status["voluntary_ctxt_switches"] + status["nonvoluntary_ctxt_switches"];
    }
    closedir(tasks);
  }
  return t;
}

int Rest(double seconds, const std::vector<std::pair<std::string, pid_t>>& programs) {
  {
    // A key that the server still has down would wake the program on
    // purpose: the figure would not be the one at rest.
    Display* display = XOpenDisplay(nullptr);
    char keys[32] = {};
    if (display) XQueryKeymap(display, keys);
    int down = 0;
    for (const char k : keys) down += __builtin_popcount(static_cast<unsigned char>(k));
    if (display) XCloseDisplay(display);
    std::printf("keys the server has down before the rest: %d\n", down);
  }
  std::vector<CpuTime> before;
  for (const auto& p : programs) before.push_back(ReadCpu(p.second));
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const long hz = sysconf(_SC_CLK_TCK);
  std::printf("at rest for %.0f s, no key pressed (%% of one core):\n", seconds);
  for (std::size_t i = 0; i < programs.size(); ++i) {
    const CpuTime after = ReadCpu(programs[i].second);
    const long ticks = after.ticks - before[i].ticks;
    const double ns = static_cast<double>(after.ns - before[i].ns);
    std::printf(
        "  %-34s utime+stime %ld ticks = %.3f %%; on-CPU %.1f ms = %.4f %%; "
        "%lld wake-ups\n",
        programs[i].first.c_str(), ticks, 100.0 * ticks / hz / seconds, ns / 1e6,
        100.0 * ns / 1e9 / seconds, after.switches - before[i].switches);
  }
  return 0;
}

// The window manager's close: WM_DELETE_WINDOW, as the close box sends it.
// No key is pressed for it, so none can be left down in the server.
int CloseWindow(unsigned long window) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 1;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  return sent ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() >= 5 && a[0] == "latency") {
    std::vector<Program> programs;
    for (std::size_t i = 4; i < a.size(); ++i) {
      const auto first = a[i].find('='), second = a[i].find('=', first + 1);
      if (second == std::string::npos) return 2;
      programs.push_back({a[i].substr(0, first),
                          a[i].substr(first + 1, second - first - 1),
                          a[i].substr(second + 1),
                          0,
                          -1,
                          {}});
    }
    return Latency(std::stoi(a[1]), a[2], a[3], std::move(programs));
  }
  if (a.size() == 4 && a[0] == "held") return Held(std::stod(a[1]), a[2], a[3]);
  if (a.size() == 2 && a[0] == "close") return CloseWindow(std::stoul(a[1], nullptr, 0));
  if (a.size() == 5 && a[0] == "memory") {
    return Memory(std::stoi(a[1]), a[2], a[3], std::stoi(a[4]));
  }
  if (a.size() >= 3 && a[0] == "rest") {
    std::vector<std::pair<std::string, pid_t>> programs;
    for (std::size_t i = 2; i < a.size(); ++i) {
      const auto eq = a[i].find('=');
      programs.emplace_back(a[i].substr(0, eq), std::stoi(a[i].substr(eq + 1)));
    }
    return Rest(std::stod(a[1]), programs);
  }
  std::fprintf(stderr,
               "usage: %s latency ROUNDS OUT_DIR PROBE NAME=KEY=PIC... | held SECONDS KEY PIC |"
               " memory SHOTS KEY PIC PID | rest SECONDS NAME=PID...\n",
               argv[0]);
  return 2;
}
