// SPDX-License-Identifier: MIT
// Many printers in one download, with real pauses: starts kerv-printer-sim with N printers and one
// more on loopback, runs corvelle-cli download to all N (a two-area image, about a minute) and
// then to the one more alone, and reports the wall time of both and their ratio, and the fleet
// run's CPU time and peak RSS. Every printer must have received the built image byte for byte.
//   fleet_bench [--printers N] [--jobs J] [--refusing K [--retry-wait S]] [--sim-files F] [--keep 1]
// Defaults: 100 printers, all at once up to 256. With --refusing, printers 1 to K refuse every
// connection for the first S/2 seconds and the fleet runs with --retry 1 --retry-wait S (default
// 10): all N must end ok within S plus the one printer's time. --sim-files runs the simulator
// under a hard open-file limit of F (through prlimit). --keep 1 leaves the folder with the logs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double peakRssMb = 0;
};

pid_t Start(std::vector<std::string> args, int out, const std::string& outPath, const std::string& errPath) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  if (!outPath.empty()) posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

Outcome RunToEnd(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath) {
  Outcome outcome;
  const auto begin = std::chrono::steady_clock::now();
  const pid_t pid = Start(args, -1, outPath, errPath);
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return outcome;
  outcome.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  outcome.peakRssMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return outcome;
}

void WriteFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string ReadWhole(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// Two fonts whose second section crosses the first area's boundary: the builder makes two areas.
void WriteSelection(const fs::path& dir) {
  // Stored font paths are read in the program folder's FontExt.
  const fs::path fonts = dir / "program" / "FontExt";
  fs::create_directories(fonts);
  // The single download uses the stored port: TCP/IP, so that both runs go to the simulator.
  std::string profile = "[Impostazione porta]\nPort=TCP/IP\n[FontsAggiuntivi]\n";
  const std::size_t sizes[][2] = {{300, 0x100000}, {200, 0x60000}};
  for (int position = 1; position <= 2; ++position) {
    const auto [header, data] = sizes[position - 1];
    std::string bytes(data, '\0');
    for (std::size_t i = 0; i < data; ++i) bytes[i] = static_cast<char>((i * 11 + static_cast<std::size_t>(position)) % 251);
    const std::string name = "f" + std::to_string(position);
    WriteFile(fonts / (name + "0.hea"), std::string(header, static_cast<char>('h' + position)));
    WriteFile(fonts / (name + "0.sh"), bytes);
    profile += "Font00" + std::to_string(position) + "=" + (fonts / (name + ".she")).string() + "\n";
  }
  WriteFile(dir / "corvelle.ini", profile);
}

// Printers whose store holds exactly one image, judged consistent in its log and byte for byte
// the image built.
int ExactPrinters(const fs::path& dir, const fs::path& store, int printers, const std::string& image) {
  int exact = 0;
  for (int number = 1; number <= printers; ++number) {
    const std::string log = ReadWhole(dir / ("sim-" + std::to_string(number) + ".jsonl"));
    const fs::path own = store / ("printer-" + std::to_string(number));
    const bool one = fs::exists(own / "image-001.bin") && !fs::exists(own / "image-002.bin");
    if (one && log.find("\"verdict\":\"consistent\"") != std::string::npos && ReadWhole(own / "image-001.bin") == image) {
      ++exact;
    }
  }
  return exact;
}

}  // namespace

int main(int argc, char** argv) {
  int printers = 100;
  int jobs = 0;
  int refusing = 0;
  int retryWait = 10;
  int simFiles = 0;
  bool keep = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--printers") printers = std::atoi(argv[i + 1]);
    if (option == "--jobs") jobs = std::atoi(argv[i + 1]);
    if (option == "--refusing") refusing = std::atoi(argv[i + 1]);
    if (option == "--retry-wait") retryWait = std::max(2, std::atoi(argv[i + 1]));
    if (option == "--sim-files") simFiles = std::atoi(argv[i + 1]);
    if (option == "--keep") keep = std::atoi(argv[i + 1]) != 0;
  }
  if (jobs <= 0) jobs = std::min(printers, 256);
  refusing = std::clamp(refusing, 0, printers);
  char pattern[] = "/tmp/corvelle-fleet-bench-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const fs::path dir = pattern;
  WriteSelection(dir);

  // The single printer is one more of the simulator's, its last, served on its own after the
  // fleet: the fleet's printers refuse (with --refusing) from the simulator's start on.
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 1;
  // The received images are kept in memory-backed storage, so that keeping them costs the
  // simulator little; they are compared once both runs are over.
  char storePattern[] = "/dev/shm/corvelle-fleet-bench-XXXXXX";
  if (!::mkdtemp(storePattern)) return 1;
  const fs::path store = storePattern;
  std::vector<std::string> simArgs;
  if (simFiles > 0) simArgs = {"/usr/bin/prlimit", "--nofile=" + std::to_string(simFiles) + ":" + std::to_string(simFiles), "--"};
  simArgs.insert(simArgs.end(), {CORVELLE_BIN_DIR "/kerv-printer-sim", "--printers", std::to_string(printers + 1), "--port",
                                 "0", "--quiet", "--log", (dir / "sim.jsonl").string(), "--store", store.string()});
  if (refusing > 0) {
    simArgs.insert(simArgs.end(), {"--refuse-first", std::to_string(refusing), "--refuse-for", std::to_string(retryWait / 2)});
  }
  const pid_t sim = Start(simArgs, pipeFds[1], "", (dir / "sim.err").string());
  ::close(pipeFds[1]);
  std::vector<int> ports;
  FILE* lines = ::fdopen(pipeFds[0], "r");
  char line[128];
  while (static_cast<int>(ports.size()) < printers + 1 && std::fgets(line, sizeof line, lines)) {
    const std::string text = line;
    if (text.starts_with("tcp ")) ports.push_back(std::atoi(text.substr(text.rfind(':') + 1).c_str()));
  }
  if (static_cast<int>(ports.size()) != printers + 1) {
    std::cerr << "the simulator did not start\n";
    return 1;
  }
  std::string list;
  for (int i = 0; i < printers; ++i) list += "127.0.0.1:" + std::to_string(ports[static_cast<std::size_t>(i)]) + "\n";
  WriteFile(dir / "targets", list);

  const std::vector<std::string> cli = {CORVELLE_BIN_DIR "/corvelle-cli", "--program-folder", (dir / "program").string(),
                                        "--profile", (dir / "corvelle.ini").string(), "download"};
  std::vector<std::string> fleet = cli;
  fleet.insert(fleet.end(), {"--ip-list", (dir / "targets").string(), "--jobs", std::to_string(jobs)});
  if (refusing > 0) fleet.insert(fleet.end(), {"--retry", "1", "--retry-wait", std::to_string(retryWait)});
  std::vector<std::string> single = cli;
  single.insert(single.end(), {"--ip", "127.0.0.1:" + std::to_string(ports.back())});

  rlimit files{};
  ::getrlimit(RLIMIT_NOFILE, &files);
  std::cout << "open-file limit: soft " << files.rlim_cur << ", hard " << files.rlim_max
            << (simFiles > 0 ? "; the simulator's hard limit " + std::to_string(simFiles) : std::string()) << std::endl;
  std::cout << printers << " printers, --jobs " << jobs
            << (refusing > 0 ? ", " + std::to_string(refusing) + " refusing, --retry 1 --retry-wait " + std::to_string(retryWait)
                             : std::string())
            << " ..." << std::endl;
  const Outcome many = RunToEnd(fleet, (dir / "fleet.out").string(), (dir / "fleet.err").string());
  std::cout << "single printer download ..." << std::endl;
  const Outcome one = RunToEnd(single, (dir / "single.out").string(), (dir / "single.err").string());
  ::kill(sim, SIGTERM);
  rusage simUsage{};
  ::wait4(sim, nullptr, 0, &simUsage);

  const int consistent = ExactPrinters(dir, store, printers + 1, ReadWhole(dir / "program" / "FontSet.SHC"));
  fs::remove_all(store);
  std::istringstream results(ReadWhole(dir / "fleet.out"));
  int ok = 0, secondAttempt = 0;
  for (std::string result; std::getline(results, result);) {
    if (result.find("\tok") != std::string::npos) ++ok;
    if (result.find("\tok (attempt 2 of 2)") != std::string::npos) ++secondAttempt;
  }
  std::printf("fleet:  exit %d, wall %.2f s, cpu %.2f s, peak RSS %.1f MB; ok %d of %d", many.status, many.wallSeconds,
              many.cpuSeconds, many.peakRssMb, ok, printers);
  if (refusing > 0) std::printf(", %d of them at the second attempt", secondAttempt);
  std::printf("\nsingle: exit %d, wall %.2f s, cpu %.2f s, peak RSS %.1f MB\n", one.status, one.wallSeconds,
              one.cpuSeconds, one.peakRssMb);
  std::printf("simulator: cpu %.2f s, peak RSS %.1f MB\n", Seconds(simUsage.ru_utime) + Seconds(simUsage.ru_stime),
              static_cast<double>(simUsage.ru_maxrss) / 1024.0);
  std::printf("wall ratio %.3f", many.wallSeconds / one.wallSeconds);
  if (refusing > 0) {
    std::printf(" (within the retry wait plus one printer's time, %.2f s: %s)", retryWait + one.wallSeconds,
                many.wallSeconds <= retryWait + one.wallSeconds ? "yes" : "no");
  }
  std::printf("; printers with the image byte-exact: %d of %d\n", consistent, printers + 1);
  const bool passed = one.status == 0 && many.status == 0 && consistent == printers + 1 && ok == printers &&
                      secondAttempt == refusing;
  if (passed && !keep) fs::remove_all(dir);
  else std::cerr << "left for a look: " << dir << '\n';
  return passed ? 0 : 1;
}
