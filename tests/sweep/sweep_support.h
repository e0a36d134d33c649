#pragma once
// The fault sweeps' rig: a sample and its reference update, runs of the real
// mivotra-patch under the fault library (one folder each), and the checks
// that judge every run. Violations are collected, never thrown, so that one
// sweep reports all of them.

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_faults_support.h"

namespace mivotra::test::sweep {

using namespace mivotra::test::faults;

// The library ends a process with this code at a power cut.
constexpr int kCutExitCode = 86;
constexpr const char* kPasswordVariable = "MIVOTRA_SWEEP_PASSWORD";

inline std::string SuccessBox() {
  return ConsoleBox(
      std::string(texts::UpdateDateLabel) + std::string(texts::UpdateFinishedCaptionSuffix),
      texts::UpdateFinished);
}

// Any of the ways the program says the update did not happen.
inline bool ShowsFailure(const std::string& err) {
  return err.find(std::string(texts::UpdateFailed)) != std::string::npos ||
         err.find(std::string(texts::M5CopyFailed)) != std::string::npos ||
         err.find("Message : ") != std::string::npos;
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

inline double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct Sample {
  std::string name;  // "plain" or "encrypted"
  fs::path original;
  std::string password;
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

// A sample of `kumiRows` rate rows in `folder`, with its reference update.
inline Sample MakeSample(const fs::path& folder, const std::string& name, long kumiRows,
                         const std::string& password) {
  Sample sample;
  sample.name = name;
  sample.password = password;
  sample.original = folder / (name + "-original.mdb");
  MakeSampleDatabase(sample.original, {.kumiRows = kumiRows, .password = password});
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
    const std::string masked = Picture(database, sample.password, true);
    state.is107 = masked == sample.after;
    state.is106 =
        masked == sample.beforeMasked && Picture(database, sample.password) == sample.before;
    state.readable = true;
    try {
      state.version = VersionOf(database, sample.password);
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

inline FaultRun RunUnderFaults(const fs::path& work, const Sample& sample, const std::string& mode,
                               long n, int seeds = 0) {
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
  };
  if (!sample.password.empty()) {
    arguments.insert(arguments.end(), {"--password-env", kPasswordVariable});
    environment.push_back(std::string(kPasswordVariable) + "=" + sample.password);
  }
  run.finished = RunPatch(run.home, arguments, "run", environment);
  run.report = ReadReport(run.folder / "report");
  run.stack = ReadFile(run.folder.string() + "/report.stack");
  return run;
}

// ---- collecting what went wrong ----

class Findings {
 public:
  void Add(std::string violation) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_violations.push_back(std::move(violation));
  }
  std::vector<std::string> All() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_violations;
  }
  std::size_t Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_violations.size();
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_violations;
};

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
        findings.Add("point " + std::to_string(points[i]) +
                     ": the check itself failed: " + error.what());
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
  void Context(const std::string& text) { m_context += text; }
  std::string Text() const {
    std::string text = m_heading;
    for (const auto& failure : m_failures) text += "\n    - " + failure;
    return text + m_context;
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
                 ", database " + state.Describe() + "\n    its stderr ends:\n" +
                 LastLines(next.err, 8));
    return;
  }
  const fs::path backup = BackupOf(database);
  if (!fs::is_regular_file(backup) || Picture(backup, sample.password) != sample.before)
    verdict.Fail("the next normal run updated but its backup is not the 1.06 database");
}

}  // namespace mivotra::test::sweep
