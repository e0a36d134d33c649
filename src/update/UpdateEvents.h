#pragma once
// What the update session reports while it works: the connection's state, a
// run's start and end, the statements running and their steps. Each front end
// decides what to show of them and leaves alone the ones it has no use for.

#include <optional>
#include <string>

namespace mivotra {

struct RunRecord;

// The connection after an attempt to open the database, or when there is
// none to open.
struct ConnectionReport {
  enum class State { NotSelected, Opened, Failed };
  State state = State::NotSelected;
  // The database file's name with its extension; empty when none is selected.
  std::string databaseName;

  // A connection is open exactly when the attempt opened one.
  bool Connected() const { return state == State::Opened; }
};

// What a front end changes of its controls, in the order close, run, search;
// a control without a value stays as it is.
struct ControlChanges {
  std::optional<bool> close;
  std::optional<bool> run;
  std::optional<bool> search;
};
// Between runs: Close, and Run over an open database or the search for one
// without; during a run, none.
inline ControlChanges ControlsFor(bool betweenRuns, bool connected) {
  return {betweenRuns, betweenRuns && connected, betweenRuns && !connected};
}
// An opened database offers Run and leaves the other controls as they are;
// otherwise the search is offered again.
inline ControlChanges ControlsAfter(const ConnectionReport& report) {
  if (report.Connected()) return {std::nullopt, true, std::nullopt};
  return ControlsFor(true, false);
}

class UpdateEvents {
 public:
  virtual ~UpdateEvents() = default;

  virtual void ConnectionChanged(const ConnectionReport&) {}
  // A run passed its first check; until RunEnded nothing else may start and
  // the window may not close.
  virtual void RunStarted() {}
  // The patch's statements run between these two: from the first statement to
  // the commit or rollback, before any box tells the outcome.
  virtual void StatementsStarted() {}
  virtual void StatementsEnded() {}
  // One group of the patch is done.
  virtual void ProgressStep() {}
  // The run RunStarted announced is over; the record tells how it went.
  virtual void RunEnded(const RunRecord&) {}
};

}  // namespace mivotra
