#pragma once
// Start-up measurement, off unless asked for (bench/startup.sh asks).
//
// With the environment variable MIVOTRA_EXIT_AFTER_FIRST_PAINT set, the
// window closes itself right after its first paint and the process prints one
// line to standard error:
//
//   first-paint-ms <milliseconds from the process's start> peak-rss-kb <VmHWM>
//
// When the variable holds the launch time in seconds since the epoch (bash's
// $EPOCHREALTIME, taken just before exec), the time counts from there, so
// exec and library loading are included to the microsecond; any other value
// counts from the start time the kernel keeps for the process (10 ms steps).
// Header only: the program and the Qt-only baseline measure the same way.

#include <unistd.h>

#include <QByteArray>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace mivotra {

inline constexpr const char* kExitAfterFirstPaintVariable = "MIVOTRA_EXIT_AFTER_FIRST_PAINT";

class FirstPaintExit final : public QObject {
 public:
  // Watches window when the variable is set; null otherwise.
  static std::unique_ptr<FirstPaintExit> FromEnvironment(QWidget& window) {
    if (!qEnvironmentVariableIsSet(kExitAfterFirstPaintVariable)) return nullptr;
    return std::make_unique<FirstPaintExit>(window, qgetenv(kExitAfterFirstPaintVariable));
  }

  FirstPaintExit(QWidget& window, QByteArray launch)
      : m_window(window), m_launch(std::move(launch)) {
    m_window.installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &m_window && event->type() == QEvent::Paint && !m_painted) {
      m_painted = true;
      // Queued, so it runs once this paint (children included) has been
      // drawn and handed to the window system.
      QTimer::singleShot(0, this, [this] {
        std::fprintf(stderr, "first-paint-ms %.1f peak-rss-kb %ld\n", MillisecondsSinceStart(),
                     PeakResidentKb());
        m_window.close();
      });
    }
    return false;
  }

 private:
  static double Seconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
  }

  double MillisecondsSinceStart() const {
    bool ok = false;
    const double launch = m_launch.toDouble(&ok);
    if (ok && launch > 1e9) return (Seconds(CLOCK_REALTIME) - launch) * 1000.0;
    // Field 22 of /proc/self/stat: the start in clock ticks since boot.
    std::ifstream stat("/proc/self/stat");
    std::string text;
    std::getline(stat, text);
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    const double started = std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return (Seconds(CLOCK_BOOTTIME) - started) * 1000.0;
  }

  static long PeakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
  }

  QWidget& m_window;
  QByteArray m_launch;
  bool m_painted = false;
};

}  // namespace mivotra
