// Throughput of the backup copy against `cp` followed by `sync` of the copy,
// on the same disk in the same run. Both start from the same state: earlier
// writes flushed, the source read into the page cache. The order alternates
// between rounds so neither side always runs first.
//
//   bench_backup_copy [--size-mib N] [--runs N] [--no-write-behind] [--chunk-mib N] FOLDER
//

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "target/BackupCopy.h"
#include "update/Screen.h"

extern char** environ;

namespace {

using mivotra::MessageIcon;

// The benchmark shows nothing; progress is still asked for, as in the tool.
class SilentScreen : public mivotra::Screen {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
  std::optional<std::string> ChooseDatabaseFile() override { return std::nullopt; }
  bool ShowCopyProgress(std::uint64_t, std::uint64_t) override {
    ++progressCalls;
    return true;
  }
  void EndCopyProgress() override {}
  void OpenFolder(const std::string&) override {}
  void CopyTextToClipboard(const std::string&) override {}
  void ShowUpdateError(const std::string&) override {}
  int progressCalls = 0;
};

bool Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string FirstLineOf(const char* command) {
  std::string line;
  if (std::FILE* pipe = popen(command, "r")) {
    char buffer[256];
    if (std::fgets(buffer, sizeof buffer, pipe)) line = buffer;
    pclose(pipe);
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

bool MakeSource(const std::string& path, std::uint64_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::vector<char> block(8 << 20);
  std::uint32_t state = 42;
  for (char& b : block) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<char>(state >> 24);
  }
  bool ok = true;
  for (std::uint64_t written = 0; ok && written < size;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - written));
    block[0] = static_cast<char>(written >> 23);  // no two blocks alike
    ok = write(fd, block.data(), n) == static_cast<ssize_t>(n);
    written += n;
  }
  ok = ok && fsync(fd) == 0;
  close(fd);
  return ok;
}

// The same starting point for both: no copy left from the last turn, its
// removal settled (the disk may be trimming the freed blocks), no dirty pages,
// and the source in the page cache (caches cannot be dropped here).
void Prepare(const std::string& source) {
  sync();
  sleep(2);
  sync();
  const int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    std::vector<char> buffer(8 << 20);
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
    close(fd);
  }
}

// Checks the copy's size and removes it so the next turn starts alike.
bool CheckAndRemove(const std::string& copy, std::uint64_t size) {
  struct stat info = {};
  const bool ok =
      stat(copy.c_str(), &info) == 0 && static_cast<std::uint64_t>(info.st_size) == size;
  unlink(copy.c_str());
  return ok;
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t sizeMiB = 1024;
  int runs = 5;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--size-mib" && i + 1 < argc)
      sizeMiB = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--runs" && i + 1 < argc)
      runs = std::atoi(argv[++i]);
    else
      folder = arg;
  }
  if (folder.empty() || sizeMiB == 0 || runs < 3) {
    std::fprintf(stderr, "usage: %s [--size-mib N] [--runs N>=3] FOLDER\n", argv[0]);
    return 2;
  }

  const std::string source = folder + "/bench-source.mdb";
  const std::string ours = folder + "/bench-ours.mdb";
  const std::string theirs = folder + "/bench-cp.mdb";
  const std::uint64_t size = sizeMiB << 20;
  const double mib = static_cast<double>(sizeMiB);

  struct utsname system = {};
  uname(&system);
  struct statfs fsInfo = {};
  statfs(folder.c_str(), &fsInfo);
  std::printf("backup copy benchmark: %llu MiB, %d rounds, folder %s\n",
              static_cast<unsigned long long>(sizeMiB), runs, folder.c_str());
  std::printf("kernel %s, file system magic 0x%lx\n", system.release,
              static_cast<unsigned long>(fsInfo.f_type));
  std::printf("ours: the backup copy (CopyToNewFile)\n");
  std::printf("baseline: `cp SOURCE COPY && sync COPY` with %s\n",
              FirstLineOf("cp --version").c_str());

  if (!MakeSource(source, size)) {
    std::perror("cannot write the source file");
    return 1;
  }

  std::vector<double> oursSeconds, theirSeconds;
  for (int round = 0; round < runs; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool oursNow = (round + turn) % 2 == 0;
      if (oursNow) {
        Prepare(source);
        SilentScreen screen;
        std::string reason;
        const auto start = std::chrono::steady_clock::now();
        const int from = open(source.c_str(), O_RDONLY | O_CLOEXEC);
        const int into = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool ok = mivotra::CopyToNewFile(
            from, source, mivotra::CopyDestination{into, folder, "bench-ours.mdb"}, screen,
            &reason);
        close(into);
        close(from);
        const double seconds = Seconds(start);
        if (!ok || !CheckAndRemove(ours, size)) {
          std::fprintf(stderr, "the copy failed: %s\n", reason.c_str());
          return 1;
        }
        oursSeconds.push_back(seconds);
        std::printf("round %d  ours           %7.3f s  %8.1f MiB/s  (%d progress reports)\n",
                    round + 1, seconds, mib / seconds, screen.progressCalls);
      } else {
        Prepare(source);
        const auto start = std::chrono::steady_clock::now();
        const bool ok = Run({"cp", source, theirs}) && Run({"sync", theirs});
        const double seconds = Seconds(start);
        if (!ok || !CheckAndRemove(theirs, size)) {
          std::fprintf(stderr, "cp or sync failed\n");
          return 1;
        }
        theirSeconds.push_back(seconds);
        std::printf("round %d  cp + sync      %7.3f s  %8.1f MiB/s\n", round + 1, seconds,
                    mib / seconds);
      }
      std::fflush(stdout);
    }
  }

  unlink(source.c_str());

  const double oursRate = mib / Median(oursSeconds);
  const double theirRate = mib / Median(theirSeconds);
  std::printf("median  ours           %8.1f MiB/s\n", oursRate);
  std::printf("median  cp + sync      %8.1f MiB/s\n", theirRate);
  std::printf("ratio ours/cp+sync     %8.3f  (target >= 0.9)\n", oursRate / theirRate);
  return 0;
}
