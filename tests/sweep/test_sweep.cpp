// Fault sweeps over the real mivotra-patch, the way SQLite tests itself: a
// normal run is counted once, then the run is repeated with the first, the
// second, ... the last operation of one kind failed (an allocation, a write,
// sync or truncate with EIO or ENOSPC) or with the power cut before each
// sync. After every run the database is wholly 1.06 or wholly 1.07, the
// backup is the 1.06 file whenever the update is reported, and the messages
// say which of the two happened.

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "sweep_support.h"

namespace mivotra::test::sweep {
namespace {

const std::string kPassword = "sw'p;#\"秘密\"";

// Made once per process (each sweep is a process of its own under ctest).
class Samples {
 public:
  static Samples& Get() {
    static Samples samples;
    return samples;
  }
  const Sample& Plain() {
    if (m_plain.name.empty()) m_plain = MakeSample(m_dir.path(), "plain", 40, "");
    return m_plain;
  }
  const Sample& Encrypted() {
    if (m_encrypted.name.empty())
      m_encrypted = MakeSample(m_dir.path(), "encrypted", 40, kPassword);
    return m_encrypted;
  }
  // Encrypted in SQLCipher 3's format, as the main application's older files are.
  const Sample& Sqlcipher3() {
    if (m_sqlcipher3.name.empty())
      m_sqlcipher3 = MakeSample(m_dir.path(), "sqlcipher3", 40, kPassword, 3);
    return m_sqlcipher3;
  }

 private:
  TempDir m_dir;
  Sample m_plain;
  Sample m_encrypted;
  Sample m_sqlcipher3;
};

struct Counts {
  long allocations = 0;
  long io = 0;
  long writes = 0;
  long syncs = 0;
  long truncates = 0;
  long journalOpened = -1;  // the allocation count when the patch made its journal
  long lastSync = -1;       // ... at the last sync: the end of the commit
  // The counts at the writes of a page to the database or its journal: with
  // a context swept, the context that encrypted that page (the journal's
  // header, written as it opens, is no page).
  std::set<long> pageWrites;
};

// A normal run under the library in count mode; it must change nothing in
// what the program does.
Counts CountNormalRun(const fs::path& work, const Sample& sample, const std::string& caller = {},
                      Front front = Front::Console) {
  const FaultRun run = RunUnderFaults(work, sample, "count", 0, 0, caller, front);
  const bool box = run.finished.err.find(SuccessBox()) != std::string::npos;
  if (!run.finished.outcome.Succeeded() || !box || !Look(run.database, sample).is107)
    throw std::runtime_error("the counted normal run did not update:\n" + run.finished.err);
  Counts counts;
  counts.allocations = Number(run.report, "allocations");
  counts.io = Number(run.report, "io");
  counts.writes = Number(run.report, "writes");
  counts.syncs = Number(run.report, "syncs");
  counts.truncates = Number(run.report, "truncates");
  std::istringstream trace(ReadFile(run.folder.string() + "/report.trace"));
  const std::string journal = run.database.string() + "-journal";
  std::set<long> written;
  for (std::string line; std::getline(trace, line);) {
    const auto space = line.find(' ');
    const long count = std::atol(line.c_str());
    if (counts.journalOpened < 0 && line.compare(space, std::string::npos, " open " + journal) == 0)
      counts.journalOpened = count;
    if (line.compare(space, 6, " sync ") == 0) counts.lastSync = count;
    if (line.compare(space, std::string::npos, " write " + journal) == 0 ||
        line.compare(space, std::string::npos, " write " + run.database.string()) == 0)
      written.insert(count);
  }
  for (long count : written)
    if (count != counts.journalOpened) counts.pageWrites.insert(count);
  if (counts.io <= 0 || counts.syncs <= 0 || counts.allocations <= 0)
    throw std::runtime_error("the fault library counted nothing: " +
                             ReadFile(run.folder / "report"));
  fs::remove_all(run.folder);
  return counts;
}

std::string Heading(const std::string& mode, long n, const Sample& sample, const FaultRun& run) {
  return mode + " N=" + std::to_string(n) + " (" + sample.name +
         " sample): " + Status(run.finished.outcome);
}

// The first failure without what follows its first line: points that share it group.
std::string Kind(const std::string& failure) {
  return failure.substr(0, failure.find('\n'));
}

void AddRunContext(Verdict& verdict, const FaultRun& run) {
  const std::string injected = Value(run.report, "injected_what");
  verdict.Context("\n    failed operation: " +
                  (injected.empty() ? std::string("none reached") : injected));
  verdict.Context("\n    it showed:" + MessagesShown(run.finished.err));
  if (!run.stack.empty())
    verdict.Context("\n    where it was failed:\n" + LastLines(run.stack, 40));
}

// ---- faults that fail one operation: the run must end as 1.07 with the success box,
// ---- or as 1.06 with anything else, and a later run must then succeed.

struct FailureSweep {
  std::string mode;  // oom, eio, enospc
  long points = 0;
  long landed = 0;  // points where the fault was actually injected
  long updated = 0;
  long followUps = 0;
};

// Whether the window told how its run ended: a failure, a refusal, or the
// caption of a database it could not open.
bool WindowToldTheEnd(const std::string& err) {
  for (std::string_view told :
       {texts::M1MainApplicationRunning, texts::M2Before, texts::M4BackupExists,
        texts::CaptionFailedPrefix, texts::CaptionNotSelected}) {
    if (err.find(told) != std::string::npos) return true;
  }
  return ShowsFailure(err);
}

// What the window owes besides the database's state: it never ends by a
// signal (std::terminate, a crash, the driver's alarm on a hang), tells
// every end, and gives its controls back and closes (the driver's lines).
void JudgeWindowEnd(const FaultRun& run, bool updated, Verdict& verdict) {
  const Outcome& outcome = run.finished.outcome;
  if (!outcome.exited) {
    verdict.Fail("the window ended by " + Status(outcome));
  } else if (outcome.code != 0 && outcome.code != 1 && outcome.code != 3) {
    verdict.Fail("the window ended with " + Status(outcome));
  }
  std::istringstream lines(run.finished.err);
  const std::string prefix = "window-driver: ";
  for (std::string line; std::getline(lines, line);)
    if (line.compare(0, prefix.size(), prefix) == 0) verdict.Fail(line.substr(prefix.size()));
  if (!updated && outcome.exited && !WindowToldTheEnd(run.finished.err))
    verdict.Fail("the run ended without a box or a caption that tells why");
}

// A failure report beside the window's success box: the update's or the
// copy's failure, or an unexpected exception after the success. One before
// it is another handler's, told, and the update went on.
bool WindowShowsFailure(const std::string& err) {
  const std::size_t success = err.find(SuccessBox());
  return err.find(std::string(texts::UpdateFailed)) != std::string::npos ||
         err.find(std::string(texts::M5CopyFailed)) != std::string::npos ||
         (success != std::string::npos &&
          err.find(std::string(texts::UnhandledException), success) != std::string::npos);
}

// True when the run updated (and so needs no follow-up run).
bool JudgeFailedOperation(const FaultRun& run, const Sample& sample, const std::string& mode,
                          long n, Findings& findings, Front front = Front::Console) {
  const std::string label = front == Front::Window ? mode + "-window" : mode;
  const std::string heading = Heading(label, n, sample, run);
  Verdict verdict(heading);
  Plaintext plaintext(sample, run);
  plaintext.Search(run.tree, "after the run");
  const std::string& err = run.finished.err;
  const bool box = err.find(SuccessBox()) != std::string::npos;
  const bool failure = front == Front::Window ? WindowShowsFailure(err) : ShowsFailure(err);
  const DatabaseState state = Look(run.database, sample);
  const bool updated = run.finished.outcome.Succeeded() && box;
  if (updated) {
    if (failure) verdict.Fail("the success box came with a failure report");
    if (!state.is107)
      verdict.Fail("exit 0 and the success box, but the database is " + state.Describe());
    const fs::path backup = BackupOf(run.database);
    if (!fs::is_regular_file(backup) || !SameBytes(backup, sample.original))
      verdict.Fail("exit 0 and the success box, but the backup is " +
                   std::string(fs::is_regular_file(backup) ? "not the 1.06 original" : "missing"));
  } else {
    if (box) {
      verdict.Fail("the success box was shown, but the run ended with " +
                   Status(run.finished.outcome) + "; the database is " + state.Describe());
    } else if (run.finished.outcome.Succeeded()) {
      verdict.Fail("exit 0, but no success box");
    }
    if (!state.is106 && !box) {
      verdict.Fail(std::string(failure ? "a failure was reported"
                                       : "the run ended without reporting an update") +
                   ", but the database is " + state.Describe());
    } else if (state.is106 && !state.integrity.empty() && state.integrity != "ok") {
      verdict.Fail("integrity_check: " + state.integrity);
    }
    CheckFollowUp(run.database, run.home, sample, verdict);
    plaintext.Search(run.tree, "after the next normal run");
  }
  if (front == Front::Window) JudgeWindowEnd(run, updated, verdict);
  plaintext.AddTo(findings, n, heading);
  if (verdict.Failed() || plaintext.Found())
    KeepForInspection(run.folder, sample.name + "-" + label + "-" + PointName(n));
  if (verdict.Failed()) {
    AddRunContext(verdict, run);
    findings.Add(n, Kind(verdict.First()), verdict.Text(), verdict.Brief());
  }
  return updated;
}

// Which points a sweep runs: all of them, or for a run with too many
// allocations (each key derivation of the encrypted sample makes a million)
// an even spread over the whole run plus a denser one over the patch and the
// commit.
struct Plan {
  std::vector<long> points;
  std::string description;
};

Plan EveryPoint(long total, const std::string& what) {
  Plan plan;
  for (long n = 1; n <= total; ++n) plan.points.push_back(n);
  plan.description = "every " + what;
  return plan;
}

Plan SpreadPoints(const Counts& counts, long even, long dense) {
  // The checks before the first statement make the journal: the plain run
  // spends under 200 allocations there.
  const long from = std::max(1L, counts.journalOpened - 1000);
  // The patch, the commit and the reports take some thousands; the read-back
  // after the commit derives the key once more, which the even spread covers.
  const long to = std::min(counts.allocations, counts.journalOpened + 10000);
  std::set<long> chosen;
  for (long i = 0; i < even; ++i) chosen.insert(1 + i * (counts.allocations - 1) / (even - 1));
  for (long i = 0; i < dense; ++i) chosen.insert(from + i * (to - from) / (dense - 1));
  Plan plan;
  plan.points.assign(chosen.begin(), chosen.end());
  plan.description = std::to_string(even) + " evenly spaced over all allocations and " +
                     std::to_string(dense) + " over allocations " + std::to_string(from) + "-" +
                     std::to_string(to) + " (from before the patch's journal, at " +
                     std::to_string(counts.journalOpened) + ", over the patch and the commit)";
  return plan;
}

// The window: every allocation up to the patch's journal (the open, the
// caption, the press of Run, the checks, the boxes, the copy and its
// progress) and from the commit's last sync on (the success report, the
// controls, the closing), and `even` evenly spaced over the statements
// between, which sweep/oom fails one by one in the console.
Plan WindowPoints(const Counts& counts, long even) {
  if (counts.journalOpened < 0 || counts.lastSync < counts.journalOpened)
    throw std::runtime_error("the counted window run made no journal or no commit");
  std::set<long> chosen;
  for (long n = 1; n <= counts.journalOpened; ++n) chosen.insert(n);
  for (long n = counts.lastSync; n <= counts.allocations; ++n) chosen.insert(n);
  const long span = counts.lastSync - counts.journalOpened;
  for (long i = 1; i <= even; ++i) chosen.insert(counts.journalOpened + i * span / (even + 1));
  Plan plan;
  plan.points.assign(chosen.begin(), chosen.end());
  plan.description = "every allocation up to the journal, at " +
                     std::to_string(counts.journalOpened) +
                     ", and from the commit's last sync, at " + std::to_string(counts.lastSync) +
                     "; " + std::to_string(even) + " evenly spaced between";
  return plan;
}

std::string Listed(const std::vector<long>& points) {
  if (points.empty()) return "none";
  if (points.size() > 12) return std::to_string(points.size()) + " points";
  std::string text;
  for (long n : points) text += (text.empty() ? "N=" : ", N=") + std::to_string(n);
  return text;
}

// `caller`: only the allocations made from that function are swept;
// `observe` sees every run.
void SweepFailures(const std::string& mode, const Sample& sample,
                   const std::function<Plan(const Counts&)>& choose, const std::string& caller = {},
                   const std::function<void(const FaultRun&)>& observe = {},
                   Front front = Front::Console) {
  const auto start = Clock::now();
  TempDir work;
  const Counts counts = CountNormalRun(work.path(), sample, caller, front);
  // The console's is the reference update's time; the window's, this
  // counted one's (slower: each allocation's caller is looked up).
  const double oneRun =
      front == Front::Window ? Seconds(Clock::now() - start) : sample.patchSeconds;
  const std::string label = front == Front::Window ? mode + ", the window" : mode;
  Plan plan = choose(counts);
  if (const auto chosen = ChosenPoints(plan.points); chosen != plan.points) {
    plan.points = chosen;
    plan.description = "chosen by MIVOTRA_SWEEP_POINTS";
  }

  Findings findings;
  std::atomic<long> landed{0};
  std::mutex mutex;
  std::vector<long> updated;
  ForEachPoint(plan.points, findings, [&](long n) {
    const FaultRun run = RunUnderFaults(work.path(), sample, mode, n, 0, caller, front);
    if (observe) observe(run);
    if (Number(run.report, "injected") == n) ++landed;
    if (JudgeFailedOperation(run, sample, mode, n, findings, front)) {
      std::lock_guard<std::mutex> lock(mutex);
      updated.push_back(n);
    }
    fs::remove_all(run.folder);
  });
  std::sort(updated.begin(), updated.end());

  const auto violations = findings.All();
  std::printf(
      "[sweep %s, %s sample] normal run: %ld %s after the database opens, %ld I/O "
      "operations in the tree (%ld writes, %ld syncs, %ld truncates); one run: %.3f s\n"
      "[sweep %s, %s sample] %zu points run (%s); fault injected in %ld; updated anyway in "
      "%zu (%s); a follow-up run after each of the other %zu; %zu violations; %.1f s\n",
      label.c_str(), sample.name.c_str(), counts.allocations,
      caller.empty() ? "allocations" : (caller + " contexts").c_str(), counts.io, counts.writes,
      counts.syncs, counts.truncates, oneRun, label.c_str(), sample.name.c_str(),
      plan.points.size(), plan.description.c_str(), landed.load(), updated.size(),
      Listed(updated).c_str(), plan.points.size() - updated.size(), violations.size(),
      Seconds(Clock::now() - start));
  if (!violations.empty()) std::printf("violations by kind:\n%s", findings.Summary().c_str());
  std::fflush(stdout);
  EXPECT_EQ(landed.load(), static_cast<long>(plan.points.size()))
      << "the fault did not land at every point: the runs are not repeatable";
  for (const auto& violation : violations) ADD_FAILURE() << violation;
}

Plan EveryAllocation(const Counts& counts) {
  return EveryPoint(counts.allocations, "allocation");
}
Plan EveryOperation(const Counts& counts) {
  return EveryPoint(counts.io, "write, sync and truncate");
}

TEST(FaultSweep, OutOfMemoryAtEachAllocation) {
  SweepFailures("oom", Samples::Get().Plain(), EveryAllocation);
}

// The window (the real start-up and CPatchDlg, offscreen) with a user who
// presses Run and answers every box: no fault may end it by a signal or
// leave a run untold, and the database obeys the same invariant.
TEST(FaultSweep, OutOfMemoryInTheWindow) {
  if (WindowDriver().empty()) GTEST_SKIP() << "built without the window";
  SweepFailures(
      "oom", Samples::Get().Plain(), [](const Counts& counts) { return WindowPoints(counts, 300); },
      {}, {}, Front::Window);
}

TEST(FaultSweep, OutOfMemoryEncryptedAtASpreadOfAllocations) {
  SweepFailures("oom", Samples::Get().Encrypted(),
                [](const Counts& counts) { return SpreadPoints(counts, 100, 200); });
}

// SQLCipher fails a page whose HMAC it cannot compute for want of memory and
// puts the pager into its error state. Every HMAC context it makes is failed
// in turn; one that encrypts a page about to be written (to the journal or
// the database) must end the update with the failure told and the database
// at 1.06. The read-back after the commit reads once more when it fails.
TEST(FaultSweep, OutOfMemoryInTheEncryptionOfEachPage) {
  for (const Sample* sample : {&Samples::Get().Encrypted(), &Samples::Get().Sqlcipher3()}) {
    std::set<long> pageWrites;
    std::atomic<long> ranAtWrites{0};
    std::atomic<long> reportedAtWrites{0};
    SweepFailures(
        "oom", *sample,
        [&pageWrites](const Counts& counts) {
          pageWrites = counts.pageWrites;
          return EveryAllocation(counts);
        },
        "EVP_MAC_CTX_new",
        [&](const FaultRun& run) {
          if (!pageWrites.count(Number(run.report, "at"))) return;
          ++ranAtWrites;
          if (!run.finished.outcome.Succeeded() && ShowsFailure(run.finished.err))
            ++reportedAtWrites;
        });
    std::printf(
        "[sweep oom, page encryption, %s] %zu contexts encrypt a page that is then written; %ld "
        "of them failed, the failure reported after %ld\n",
        sample->name.c_str(), pageWrites.size(), ranAtWrites.load(), reportedAtWrites.load());
    EXPECT_FALSE(pageWrites.empty()) << "no context encrypted a page being written: the sweep "
                                        "proves nothing of the writes";
    EXPECT_EQ(reportedAtWrites.load(), ranAtWrites.load())
        << "a page that could not be encrypted for writing went without a failure report";
  }
}

// When SQLCipher cannot make the cipher context for a page it hands SQLite a
// blank page (on a read) or none (on a write) and puts the pager into its
// error state; older versions went on with the blank page, and the update
// committed without the rows it held. Every such context is failed in turn;
// none may end in a success over a database that is not the update's.
TEST(FaultSweep, OutOfMemoryInTheCipherOfEachPage) {
  SweepFailures("oom", Samples::Get().Encrypted(), EveryAllocation, "EVP_CIPHER_CTX_new");
  SweepFailures("oom", Samples::Get().Sqlcipher3(), EveryAllocation, "EVP_CIPHER_CTX_new");
}

TEST(FaultSweep, IoErrorAtEachWriteSyncAndTruncate) {
  SweepFailures("eio", Samples::Get().Plain(), EveryOperation);
  SweepFailures("eio", Samples::Get().Encrypted(), EveryOperation);
  SweepFailures("eio", Samples::Get().Sqlcipher3(), EveryOperation);
}

TEST(FaultSweep, DiskFullAtEachWriteSyncAndTruncate) {
  SweepFailures("enospc", Samples::Get().Plain(), EveryOperation);
  SweepFailures("enospc", Samples::Get().Encrypted(), EveryOperation);
}

// ---- power loss before each sync, and after the last one ----

constexpr int kRandomVariants = 6;

std::vector<std::string> Variants() {
  std::vector<std::string> names = {"drop", "keep"};
  for (int i = 1; i <= kRandomVariants; ++i) names.push_back("random" + std::to_string(i));
  return names;
}

// What a post-crash tree holds, for the reader of a violation.
std::string Listing(const fs::path& root) {
  std::string text;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string name = fs::relative(it->path(), root).string();
    text += "\n      " + name +
            (it->is_directory() ? "/" : " (" + std::to_string(SizeOf(it->path())) + " bytes)");
  }
  return text.empty() ? "\n      (empty)" : text;
}

// The failures of one variant of one cut; empty when it holds.
std::vector<std::string> CheckCutTree(const fs::path& root, const fs::path& home, bool box,
                                      const Sample& sample, bool& at107) {
  std::vector<std::string> failures;
  const fs::path database = root / "data1.mdb";
  const DatabaseState state = Look(database, sample);
  at107 = state.is107;
  if (!state.is106 && !state.is107)
    failures.push_back("after the cut the database is " + state.Describe());
  if (!state.integrity.empty() && state.integrity != "ok")
    failures.push_back("integrity_check after the cut: " + state.integrity);
  if (box && !state.is107) {
    failures.push_back("the success box had been shown, but after the cut the database is " +
                       state.Describe());
  }
  if (box) {
    const fs::path backup = BackupOf(database);
    if (!fs::is_regular_file(backup) || !SameBytes(backup, sample.original))
      failures.push_back(
          "the success box had been shown, but after the cut the backup is " +
          std::string(fs::is_regular_file(backup) ? "not the 1.06 original" : "missing"));
  }
  if (state.is106) {
    Verdict next("");
    CheckFollowUp(database, home, sample, next);
    if (next.Failed()) failures.push_back(next.Text().substr(std::string("\n    - ").size()));
  }
  return failures;
}

void JudgeCut(const FaultRun& run, const Sample& sample, long n, Findings& findings,
              std::atomic<long>& trees, std::atomic<long>& at107) {
  const bool box = run.finished.err.find(SuccessBox()) != std::string::npos;
  const std::string cut = Value(run.report, "cut");
  const std::string heading = Heading("powercut", n, sample, run);
  Plaintext plaintext(sample, run);
  plaintext.Search(run.tree, "as the run left the disk");
  auto context = [&](Verdict& verdict, const std::string& variant) {
    verdict.Context("\n    cut: " + (cut.empty() ? std::string("none") : cut) +
                    (box ? "; the success box had reached stderr" : "; no success box yet"));
    verdict.Context("\n    it showed:" + MessagesShown(run.finished.err));
    KeepForInspection(run.folder, sample.name + "-powercut-" + PointName(n) + "-" + variant);
  };
  if (run.finished.outcome.code != kCutExitCode || cut.empty() || cut == "none") {
    Verdict verdict(heading);
    verdict.Fail("the run never reached the power cut");
    context(verdict, "none");
    findings.Add(n, verdict.First(), verdict.Text());
    plaintext.AddTo(findings, n, heading);
    return;
  }
  if (Number(run.report, "untracked") != 0 || Number(run.report, "mismatches") != 0) {
    Verdict verdict(heading);
    verdict.Fail("the file-system model lost track: untracked " + Value(run.report, "untracked") +
                 " (" + Value(run.report, "untracked_where") + "), mismatches " +
                 Value(run.report, "mismatches"));
    context(verdict, "model");
    findings.Add(n, "the file-system model lost track", verdict.Text());
  }
  // Variants that fail alike are reported once, with all their names.
  std::map<std::vector<std::string>, std::vector<std::string>> alike;
  std::map<std::vector<std::string>, std::string> listings;
  for (const auto& variant : Variants()) {
    ++trees;
    const fs::path root = run.folder / "cut" / variant;
    const std::string before = Listing(root);  // before the check rolls a journal back
    plaintext.Search(root, "in the post-crash tree");
    bool is107 = false;
    const auto failures = CheckCutTree(root, run.folder / ("home-" + variant), box, sample, is107);
    plaintext.Search(root, "in the post-crash tree after the checks and the next normal run");
    if (is107) ++at107;
    if (failures.empty()) continue;
    alike[failures].push_back(variant);
    listings.emplace(failures, before);
  }
  for (const auto& [failures, variants] : alike) {
    std::string names;
    for (const auto& name : variants) names += (names.empty() ? "" : ", ") + name;
    Verdict verdict(heading + ", variant" + (variants.size() > 1 ? "s " : " ") + names);
    for (const auto& failure : failures) verdict.Fail(failure);
    verdict.Context("\n    the tree after the cut (" + variants.front() +
                    "):" + listings.at(failures));
    context(verdict, variants.front());
    findings.Add(n, Kind(verdict.First()), verdict.Text(), verdict.Brief());
  }
  plaintext.AddTo(findings, n, heading);
  if (plaintext.Found()) KeepForInspection(run.folder, sample.name + "-powercut-" + PointName(n));
}

void SweepPowerCuts(const Sample& sample) {
  const auto start = Clock::now();
  TempDir work;
  const Counts counts = CountNormalRun(work.path(), sample);
  // Before each sync, and once more at exit: after the last one.
  std::vector<long> points;
  for (long n = 1; n <= counts.syncs + 1; ++n) points.push_back(n);
  points = ChosenPoints(points);
  Findings findings;
  std::atomic<long> trees{0};
  std::atomic<long> at107{0};
  ForEachPoint(points, findings, [&](long n) {
    const FaultRun run = RunUnderFaults(work.path(), sample, "powercut", n, kRandomVariants);
    JudgeCut(run, sample, n, findings, trees, at107);
    fs::remove_all(run.folder);
  });
  const auto violations = findings.All();
  std::printf(
      "[sweep powercut, %s sample] normal run: %ld syncs in the tree; %zu cuts (before each "
      "sync and at exit) x %zu variants = %ld trees, %ld of them at 1.07, a follow-up run on each "
      "at 1.06; %zu violations; %.1f s\n",
      sample.name.c_str(), counts.syncs, points.size(), Variants().size(), trees.load(),
      at107.load(), violations.size(), Seconds(Clock::now() - start));
  if (!violations.empty()) std::printf("violations by kind:\n%s", findings.Summary().c_str());
  std::fflush(stdout);
  for (const auto& violation : violations) ADD_FAILURE() << violation;
}

TEST(FaultSweep, PowerCutBeforeEachSync) {
  SweepPowerCuts(Samples::Get().Plain());
  SweepPowerCuts(Samples::Get().Encrypted());
}

}  // namespace
}  // namespace mivotra::test::sweep
