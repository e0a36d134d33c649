#pragma once
// The fault sweeps' rig: a sample and its reference update, runs of the real
// mivotra-patch under the fault library (one folder each), and the checks
// that judge every run. Violations are collected, never thrown, so that one
// sweep reports all of them.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "PatchProgram.h"
#include "Processes.h"
#include "RawDatabase.h"
#include "SessionFixture.h"
#include "TestSupport.h"
#include "res/Texts.h"

namespace mivotra::test::sweep {

// The library ends a process with this code at a power cut.
constexpr int kCutExitCode = 86;
constexpr const char* kPasswordVariable = "MIVOTRA_SWEEP_PASSWORD";

inline std::string SuccessBox() {
  return ConsoleBox(
      std::string(texts::UpdateDateLabel) + std::string(texts::UpdateFinishedCaptionSuffix),
      texts::UpdateFinished);
}

// Any of the ways the program says the update did not happen. A report box
// alone ("Message : ...") is not one: the table check shows one when it
// cannot look, and the update then goes on to its own outcome.
inline bool ShowsFailure(const std::string& err) {
  return err.find(std::string(texts::UpdateFailed)) != std::string::npos ||
         err.find(std::string(texts::M5CopyFailed)) != std::string::npos ||
         err.find(std::string(texts::UnhandledException)) != std::string::npos;
}

inline std::string LastLines(const std::string& text, int count = 10) {
  std::size_t at = text.size();
  while (at > 0 && text[at - 1] == '\n') --at;
  for (int lines = 0; at > 0; --at) {
    if (text[at - 1] == '\n' && ++lines == count) break;
  }
  std::string tail = text.substr(at);
  std::string indented;
  for (char c : tail) indented += c == '\n' ? std::string("\n      ") : std::string(1, c);
  return "      " + indented;
}

// What a run printed to standard error, one line per message box
// ("[caption] text", lines joined by " / ") and per other line.
inline std::string MessagesShown(const std::string& err) {
  std::string shown;
  std::size_t at = 0;
  while (at < err.size()) {
    std::size_t end = err.find("\n\n", at);
    if (end == std::string::npos) end = err.size();
    std::istringstream chunk(err.substr(at, end - at));
    at = end + 2;
    std::string line;
    std::string text;
    while (std::getline(chunk, line)) {
      if (line.empty()) continue;
      text += text.empty() ? line : (text.back() == ']' ? " " : " / ") + line;
    }
    if (text.empty()) continue;
    if (text.size() > 240) text = text.substr(0, 237) + "...";
    shown += "\n      " + text;
  }
  return shown.empty() ? "\n      (nothing)" : shown;
}

inline double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct Sample {
  std::string name;  // "plain", "encrypted" or "sqlcipher3"
  fs::path original;
  std::string password;
  std::string canary;        // planted in its rows (encrypted samples): see PlantCanary
  std::string before;        // Picture of the 1.06 original
  std::string beforeMasked;  // the same with the patch's times masked
  std::string after;         // Picture of its normal update, patch times masked
  double patchSeconds = 0;   // one normal run of mivotra-patch
};

// The reference run and every follow-up: the program as a user runs it.
inline Finished NormalRun(const fs::path& home, const fs::path& database, const Sample& sample,
                          const std::string& name) {
  std::vector<std::string> arguments = {"--database", database.string()};
  std::vector<std::string> environment;
  if (!sample.password.empty()) {
    arguments.insert(arguments.end(), {"--password-env", kPasswordVariable});
    environment.push_back(std::string(kPasswordVariable) + "=" + sample.password);
  }
  return RunPatch(home, arguments, name, environment);
}

// ---- no plain text on the disk ----

// What an encrypted sample carries in its rows; no file of a run may hold it.
// Ten characters fit DBVerCode, and '#' sorts before every version code, so
// MAX(DBVerCode) is still the version.
constexpr std::string_view kCanary = "#CANARY7f3";

struct CanaryHit {
  fs::path file;
  std::uintmax_t offset = 0;
};

// Every place in the files under `root` (a file, or a folder walked whole)
// whose bytes hold `canary`. A file that cannot be read throws: it could hide one.
inline std::vector<CanaryHit> FindCanary(const fs::path& root, std::string_view canary) {
  std::vector<CanaryHit> hits;
  auto search = [&](const fs::path& file) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot read " + file.string());
    struct stat info = {};
    const std::size_t size = fstat(fd, &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
    void* mapped =
        size >= canary.size() ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : nullptr;
    close(fd);
    if (mapped == MAP_FAILED) throw std::runtime_error("cannot map " + file.string());
    if (!mapped) return;
    const char* begin = static_cast<const char*>(mapped);
    const char* end = begin + size;
    for (const char* at = begin;
         (at = static_cast<const char*>(
              memmem(at, static_cast<std::size_t>(end - at), canary.data(), canary.size())));
         ++at)
      hits.push_back({file, static_cast<std::uintmax_t>(at - begin)});
    munmap(mapped, size);
  };
  if (fs::is_regular_file(fs::symlink_status(root))) {
    search(root);
  } else if (fs::is_directory(fs::symlink_status(root))) {
    for (const auto& entry : fs::recursive_directory_iterator(root))
      if (entry.is_regular_file() && !entry.is_symlink()) search(entry.path());
  }
  return hits;
}

// Puts the canary into rows of the table the patch rewrites a page of
// (t_db_ver takes the new version's row) and of one it never touches
// (t_sofu), then makes sure the search finds it where it is plain text and
// not in the encrypted file: else its silence would prove nothing.
inline void PlantCanary(const fs::path& database, const std::string& password) {
  const std::string canary(kCanary);
  const fs::path plain = database.string() + ".plaintext";
  {
    RawDatabase db(database, password);
    auto run = [&db](const std::string& sql) { db.Each(sql, [](sqlite3_stmt*) {}); };
    run("UPDATE t_db_ver SET DBVerCode = '" + canary + "' WHERE DBVerID = 1");
    run("UPDATE t_sofu SET SofuKana = '" + canary + "'");
    const long rows =
        std::stol(db.Text("SELECT (SELECT COUNT(*) FROM t_db_ver WHERE DBVerCode = '" + canary +
                          "') + (SELECT COUNT(*) FROM t_sofu WHERE SofuKana = '" + canary + "')"));
    WriteFile(plain, "");  // the connection may not create files
    run("ATTACH DATABASE '" + plain.string() + "' AS plaintext KEY ''");
    run("SELECT sqlcipher_export('plaintext')");
    run("DETACH DATABASE plaintext");
    const auto inPlain = FindCanary(plain, canary);
    fs::remove(plain);
    if (rows < 2 || static_cast<long>(inPlain.size()) < rows)
      throw std::runtime_error("the canary is in " + std::to_string(rows) + " rows but " +
                               std::to_string(inPlain.size()) + " places of a plain copy");
  }
  if (!FindCanary(database, canary).empty())
    throw std::runtime_error("the encrypted sample holds the canary in plain text");
}

// A sample of `kumiRows` rate rows in `folder`, with its reference update;
// an encrypted one carries the canary.
inline Sample MakeSample(const fs::path& folder, const std::string& name, long kumiRows,
                         const std::string& password, int cipherCompatibility = 0) {
  Sample sample;
  sample.name = name;
  sample.password = password;
  sample.original = folder / (name + "-original.mdb");
  MakeSampleDatabase(
      sample.original,
      {.kumiRows = kumiRows, .password = password, .cipherCompatibility = cipherCompatibility});
  if (!password.empty()) {
    PlantCanary(sample.original, password);
    sample.canary = kCanary;
  }
  sample.before = Picture(sample.original, password);
  sample.beforeMasked = Picture(sample.original, password, true);
  const fs::path reference = folder / (name + "-reference");
  fs::create_directories(reference);
  fs::copy_file(sample.original, reference / "data1.mdb");
  const auto start = Clock::now();
  const Finished run = NormalRun(reference / "home", reference / "data1.mdb", sample, "reference");
  sample.patchSeconds = Seconds(Clock::now() - start);
  if (!run.outcome.Succeeded() || run.err.find(SuccessBox()) == std::string::npos)
    throw std::runtime_error("the reference update failed:\n" + run.err);
  sample.after = Picture(reference / "data1.mdb", password, true);
  return sample;
}

// What a database held when a check looked at it (opened read-write as the
// next run opens it, so a hot journal is rolled back first).
struct DatabaseState {
  bool exists = false;
  bool readable = false;
  bool is106 = false;  // equal to the original
  bool is107 = false;  // equal to the reference update
  std::string version;
  std::string integrity;  // plain samples only
  std::string error;

  std::string Describe() const {
    if (!exists) return "no database file";
    if (!readable) return "unreadable: " + error;
    std::string text = is106   ? "wholly 1.06 (as the original)"
                       : is107 ? "wholly 1.07 (as the reference update)"
                               : "neither 1.06 nor the reference 1.07 (version '" + version + "')";
    if (!integrity.empty() && integrity != "ok") text += "; integrity_check: " + integrity;
    return text;
  }
};

inline DatabaseState Look(const fs::path& database, const Sample& sample) {
  DatabaseState state;
  state.exists = fs::exists(database);
  if (!state.exists) return state;
  try {
    // Each connection to an encrypted sample derives its key (a good part of
    // a second): the same bytes as the original spare the second picture,
    // and the version is read only where the description needs it.
    const std::string masked = Picture(database, sample.password, true);
    state.is107 = masked == sample.after;
    state.is106 =
        masked == sample.beforeMasked && (SameBytes(database, sample.original) ||
                                          Picture(database, sample.password) == sample.before);
    state.readable = true;
    try {
      if (!state.is106 && !state.is107) state.version = VersionOf(database, sample.password);
    } catch (const std::exception& error) {
      state.version = std::string("? ") + error.what();
    }
    if (sample.password.empty()) state.integrity = IntegrityCheck(database);
  } catch (const std::exception& error) {
    state.error = error.what();
  }
  return state;
}

inline std::map<std::string, std::string> ReadReport(const fs::path& file) {
  std::map<std::string, std::string> report;
  std::istringstream lines(ReadFile(file));
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    if (equals != std::string::npos) report[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return report;
}

inline long Number(const std::map<std::string, std::string>& report, const std::string& key) {
  const auto found = report.find(key);
  return found == report.end() ? -1 : std::atol(found->second.c_str());
}

inline std::string Value(const std::map<std::string, std::string>& report, const std::string& key) {
  const auto found = report.find(key);
  return found == report.end() ? std::string() : found->second;
}

inline std::string Status(const Outcome& outcome) {
  if (outcome.exited) return "exit " + std::to_string(outcome.code);
  if (outcome.signal)
    return "signal " + std::to_string(outcome.signal) + " (" + strsignal(outcome.signal) + ")";
  return "no status";
}

// One run of mivotra-patch under the fault library, in a folder of its own:
//   <work>/<point>/db      the tree: the database, its backup folder, tmp/ (TMPDIR)
//   <work>/<point>/home    settings and runtime folders, the program's output
//   <work>/<point>/cut     power cut only: the post-crash trees, one per variant
struct FaultRun {
  fs::path folder;
  fs::path tree;
  fs::path database;
  fs::path home;
  Finished finished;
  std::map<std::string, std::string> report;
  std::string stack;
};

inline std::string PointName(long n) {
  char name[16];
  std::snprintf(name, sizeof name, "p%06ld", n);  // one length for all: the same allocations
  return name;
}

// Which program a run starts: the console with --database, or the window
// (through its driver, tests/sweep/window_driver.cpp) with the settings
// naming the database, as its user has them.
enum class Front { Console, Window };

inline std::string WindowDriver() {
#ifdef MIVOTRA_WINDOW_DRIVER
  return MIVOTRA_WINDOW_DRIVER;
#else
  return {};
#endif
}

// `caller`: only allocations made from that function count (and fail).
inline FaultRun RunUnderFaults(const fs::path& work, const Sample& sample, const std::string& mode,
                               long n, int seeds = 0, const std::string& caller = {},
                               Front front = Front::Console) {
  FaultRun run;
  run.folder = work / PointName(n);
  run.tree = run.folder / "db";
  run.database = run.tree / "data1.mdb";
  run.home = run.folder / "home";
  fs::create_directories(run.tree / "tmp");
  fs::copy_file(sample.original, run.database);
  std::vector<std::string> arguments = {"--database", run.database.string()};
  std::vector<std::string> environment = {
      std::string("LD_PRELOAD=") + MIVOTRA_FAULT_PRELOAD,
      "MIVOTRA_FAULT_MODE=" + mode,
      "MIVOTRA_FAULT_AT=" + std::to_string(n),
      "MIVOTRA_FAULT_TREE=" + run.tree.string(),
      "MIVOTRA_FAULT_REPORT=" + (run.folder / "report").string(),
      "MIVOTRA_FAULT_OUT=" + (run.folder / "cut").string(),
      "MIVOTRA_FAULT_SEEDS=" + std::to_string(seeds),
      "TMPDIR=" + (run.tree / "tmp").string(),
      "SQLITE_TMPDIR=" + (run.tree / "tmp").string(),
      "MIVOTRA_FAULT_CALLER=" + caller,
      "MIVOTRA_FAULT_CANARY=" + sample.canary,
  };
  if (front == Front::Window) {
    WriteSettings(run.home / "config", "data1", run.tree.string() + "/", sample.password);
    environment.push_back("QT_QPA_PLATFORM=offscreen");
    if (mode == "oom" || mode == "count") environment.push_back("MIVOTRA_FAULT_OWN=1");
    run.finished = RunProgram(WindowDriver(), run.home, {}, "run", environment);
  } else {
    if (!sample.password.empty()) {
      arguments.insert(arguments.end(), {"--password-env", kPasswordVariable});
      environment.push_back(std::string(kPasswordVariable) + "=" + sample.password);
    }
    run.finished = RunPatch(run.home, arguments, "run", environment);
  }
  run.report = ReadReport(run.folder / "report");
  run.stack = ReadFile(run.folder.string() + "/report.stack");
  return run;
}

// The frames of `program` in a backtrace the library wrote, with their
// function and line (addr2line); the text as it was where that fails.
inline std::string Symbolized(const std::string& text, const std::string& program) {
  const std::string marker = program + "(+0x";
  std::vector<std::size_t> ends;
  std::string command = "addr2line -C -f -p -e '" + program + "'";
  for (std::size_t at = text.find(marker); at != std::string::npos;
       at = text.find(marker, at + 1)) {
    const std::size_t hex = at + marker.size();
    const std::size_t close = text.find(')', hex);
    const std::size_t end = text.find('\n', hex);
    if (close == std::string::npos || end == std::string::npos) break;
    // A return address: the call is the byte before it.
    const unsigned long offset = std::stoul(text.substr(hex, close - hex), nullptr, 16) - 1;
    char address[32];
    std::snprintf(address, sizeof address, " 0x%lx", offset);
    command += address;
    ends.push_back(end);
  }
  if (ends.empty()) return text;
  std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return text;
  std::vector<std::string> names;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string name = line;
    if (!name.empty() && name.back() == '\n') name.pop_back();
    // Keep the function's name and the place; the parameter list can be long.
    const auto paren = name.find('(');
    const auto place = name.rfind(" at ");
    if (paren != std::string::npos && place != std::string::npos && place > paren)
      name = name.substr(0, paren) + name.substr(place);
    names.push_back(name);
  }
  pclose(pipe);
  if (names.size() != ends.size()) return text;
  std::string out;
  std::size_t from = 0;
  for (std::size_t i = 0; i < ends.size(); ++i) {
    out += text.substr(from, ends[i] - from) + "  " + names[i];
    from = ends[i];
  }
  return out + text.substr(from);
}

// The frames of either program.
inline std::string Symbolized(const std::string& text) {
  const std::string window = WindowDriver();
  return window.empty() ? Symbolized(text, PatchProgram())
                        : Symbolized(Symbolized(text, PatchProgram()), window);
}

// ---- collecting what went wrong ----

// Points as ranges: "1061-1080, 1992-2011, 4017".
inline std::string Ranges(std::vector<long> points) {
  std::sort(points.begin(), points.end());
  std::string text;
  int shown = 0;
  for (std::size_t i = 0; i < points.size(); ++shown) {
    std::size_t j = i;
    while (j + 1 < points.size() && points[j + 1] == points[j] + 1) ++j;
    if (shown == 24) return text + ", ...";
    text += (text.empty() ? "" : ", ") + std::to_string(points[i]) +
            (j > i ? "-" + std::to_string(points[j]) : "");
    i = j + 1;
  }
  return text;
}

class Findings {
 public:
  // kind: the first thing found wrong, to group the points that share it;
  // brief: the violation without the run's output and stack.
  void Add(long point, const std::string& kind, std::string violation, std::string brief = "") {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_found.push_back({point, kind, std::move(violation), std::move(brief)});
  }
  std::size_t Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_found.size();
  }
  // Every violation, in the order of the points; in full for the first few
  // of each kind, the rest briefly, so that hundreds stay readable.
  std::vector<std::string> All(std::size_t fullPerKind = 3) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_found;
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.point < b.point; });
    std::map<std::string, std::size_t> shown;
    std::vector<std::string> texts;
    for (const auto& f : found)
      texts.push_back(++shown[f.kind] <= fullPerKind || f.brief.empty() ? Symbolized(f.text)
                                                                        : f.brief);
    return texts;
  }
  // One line per kind: how many points and which.
  std::string Summary() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::map<std::string, std::vector<long>> kinds;
    for (const auto& f : m_found) kinds[f.kind].push_back(f.point);
    std::string text;
    for (const auto& [kind, points] : kinds)
      text += "  " + std::to_string(points.size()) + " x " + kind +
              "\n      at N=" + Ranges(points) + "\n";
    return text;
  }

 private:
  struct Found {
    long point;
    std::string kind;
    std::string text;
    std::string brief;
  };
  mutable std::mutex m_mutex;
  std::vector<Found> m_found;
};

// Where one point's runs put the canary on the disk: the writes the fault
// library caught carrying it, and the files under each folder searched, each
// place once. Nothing for a sample without a canary.
class Plaintext {
 public:
  Plaintext(const Sample& sample, const FaultRun& run)
      : m_canary(sample.canary), m_base(run.folder) {
    if (m_canary.empty()) return;
    const long written = Number(run.report, "canary_writes");
    if (written < 0)
      throw std::runtime_error("the fault library did not say whether a write carried the canary");
    if (written > 0)
      m_places.push_back("written " + std::to_string(written) + " time(s) by the run, first to " +
                         Value(run.report, "canary_where"));
  }
  void Search(const fs::path& root, const std::string& when) {
    if (m_canary.empty()) return;
    for (const auto& hit : FindCanary(root, m_canary)) {
      const std::string place =
          fs::relative(hit.file, m_base).string() + " at offset " + std::to_string(hit.offset);
      if (m_seen.insert(place).second) m_places.push_back("in " + place + " " + when);
    }
  }
  bool Found() const { return !m_places.empty(); }
  void AddTo(Findings& findings, long point, const std::string& heading) const {
    if (m_places.empty()) return;
    std::string text = heading;
    for (const auto& place : m_places)
      text += "\n    - plaintext on disk: the canary '" + m_canary + "' " + place;
    findings.Add(point, "plaintext on disk", text);
  }

 private:
  std::string m_canary;
  fs::path m_base;
  std::set<std::string> m_seen;
  std::vector<std::string> m_places;
};

// MIVOTRA_SWEEP_POINTS=a,b,c runs only those points: to look again at one.
inline std::vector<long> ChosenPoints(std::vector<long> planned) {
  const char* chosen = std::getenv("MIVOTRA_SWEEP_POINTS");
  if (!chosen || !*chosen) return planned;
  std::vector<long> points;
  std::istringstream list(chosen);
  for (std::string item; std::getline(list, item, ',');) points.push_back(std::atol(item.c_str()));
  return points;
}

// Runs body(point) for every point, `jobs` at a time. What a body throws is a finding.
inline void ForEachPoint(const std::vector<long>& points, Findings& findings,
                         const std::function<void(long)>& body) {
  const char* setting = std::getenv("MIVOTRA_SWEEP_JOBS");
  const int jobs = std::max(1, setting ? std::atoi(setting) : 2);
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    for (std::size_t i; (i = next++) < points.size();) {
      try {
        body(points[i]);
      } catch (const std::exception& error) {
        findings.Add(
            points[i], "the check itself failed",
            "point " + std::to_string(points[i]) + ": the check itself failed: " + error.what());
      }
    }
  };
  std::vector<std::thread> threads;
  for (int j = 1; j < jobs; ++j) threads.emplace_back(worker);
  worker();
  for (auto& thread : threads) thread.join();
}

// Keeps a violating run's folder where MIVOTRA_SWEEP_KEEP says, for a closer look.
inline void KeepForInspection(const fs::path& folder, const std::string& label) {
  const char* keep = std::getenv("MIVOTRA_SWEEP_KEEP");
  if (!keep || !*keep) return;
  std::error_code ignored;
  const fs::path target = fs::path(keep) / label;
  fs::create_directories(target.parent_path(), ignored);
  fs::copy(folder, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing,
           ignored);
}

// The verdict of one point: what it must say when anything is wrong.
class Verdict {
 public:
  explicit Verdict(std::string heading) : m_heading(std::move(heading)) {}
  void Fail(const std::string& what) { m_failures.push_back(what); }
  bool Failed() const { return !m_failures.empty(); }
  const std::string& First() const { return m_failures.front(); }
  void Context(const std::string& text) { m_context += text; }
  std::string Text() const { return Brief() + m_context; }
  std::string Brief() const {
    std::string text = m_heading;
    for (const auto& failure : m_failures) text += "\n    - " + failure;
    return text;
  }

 private:
  std::string m_heading;
  std::vector<std::string> m_failures;
  std::string m_context;
};

// After a run that did not update: the user moves the backup folder away, as
// M4 asks, and runs again; that run must update fully.
inline void CheckFollowUp(const fs::path& database, const fs::path& home, const Sample& sample,
                          Verdict& verdict) {
  const fs::path folder = database.parent_path() / BackupFolderName();
  if (fs::exists(folder)) fs::rename(folder, database.parent_path() / "backup-moved-away");
  const Finished next = NormalRun(home, database, sample, "next");
  const bool box = next.err.find(SuccessBox()) != std::string::npos;
  const DatabaseState state = Look(database, sample);
  if (!next.outcome.Succeeded() || !box || !state.is107) {
    verdict.Fail("the next normal run (backup folder moved away) did not update fully: " +
                 Status(next.outcome) + (box ? ", success box" : ", no success box") +
                 ", database " + state.Describe() + "; it showed:" + MessagesShown(next.err));
    return;
  }
  const fs::path backup = BackupOf(database);
  if (!fs::is_regular_file(backup) ||
      (!SameBytes(backup, sample.original) && Picture(backup, sample.password) != sample.before))
    verdict.Fail("the next normal run updated but its backup is not the 1.06 database");
}

}  // namespace mivotra::test::sweep
