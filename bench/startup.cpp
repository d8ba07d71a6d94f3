// Start-up cost of the window programs against plain Qt windows: TamoZP against a window with
// the same controls, TamoClock against a window holding one label. Measured: the time from
// starting the process to its first painted window (for TamoClock, its text), and the
// process's peak resident memory, on the offscreen platform. The programs run alternately,
// each in empty settings and runtime folders; the probe library (LD_PRELOAD) reports the
// paint and ends the process.
//   bench_startup [RUNS]      (default 20 runs of each, after 3 warm-up runs)

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <ftw.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Sample {
    double ms = 0;
    long peakKiB = 0;
};

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

bool runOnce(const char* program, const char* argument, const std::string& home, Sample& out)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const long long start = monotonicNs();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        close(fds[0]);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("LD_PRELOAD", PROBE_PATH, 1);
        setenv("TAMO_PROBE_FD", std::to_string(fds[1]).c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home + "/runtime").c_str(), 1);
        execl(program, program, argument, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buf[64] = {};
    ssize_t got = 0, n;
    while ((n = read(fds[0], buf + got, sizeof buf - 1 - size_t(got))) > 0)
        got += n;
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (got <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    out.ms = double(std::atoll(buf) - start) / 1e6;
    out.peakKiB = usage.ru_maxrss;
    return true;
}

template <class T>
T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    char pattern[] = "/tmp/bench_startup.XXXXXX";
    const char* root = mkdtemp(pattern);
    if (!root)
        return 1;
    const std::string home = root;
    if (mkdir((home + "/config").c_str(), 0700) != 0 || mkdir((home + "/runtime").c_str(), 0700) != 0)
        return 1;

    // Each program after its yardstick.
    struct Program {
        const char* name;
        const char* path;
        const char* argument; // null: none
        std::vector<double> ms;
        std::vector<long> kib;
    } programs[] = {{"bare Qt window", BARE_PATH, nullptr, {}, {}},
                    {"TamoZP", TAMOZP_PATH, nullptr, {}, {}},
                    {"bare label window", BARE_PATH, "label", {}, {}},
                    {"TamoClock", TAMOCLOCK_PATH, nullptr, {}, {}}};

    for (int i = 0; i < 3 + runs; ++i) {
        for (Program& p : programs) {
            Sample s;
            if (!runOnce(p.path, p.argument, home, s)) {
                std::fprintf(stderr, "%s did not paint a window\n", p.path);
                return 1;
            }
            if (i >= 3) {
                p.ms.push_back(s.ms);
                p.kib.push_back(s.peakKiB);
            }
        }
    }
    std::printf("start to first painted window, offscreen, %d runs each (median / min / max; peak RSS median)\n",
                runs);
    for (Program& p : programs) {
        std::printf("  %-18s %7.1f ms / %7.1f / %7.1f   %7.1f MiB\n", p.name, median(p.ms),
                    *std::min_element(p.ms.begin(), p.ms.end()),
                    *std::max_element(p.ms.begin(), p.ms.end()), median(p.kib) / 1024.0);
    }
    for (int i = 0; i < 4; i += 2) {
        const Program& bare = programs[i];
        const Program& program = programs[i + 1];
        const double ratio = median(program.ms) / median(bare.ms);
        const double extraMiB = (median(program.kib) - median(bare.kib)) / 1024.0;
        std::printf("  %s / %s: time x%.2f (goal <= 1.25), memory %+.1f MiB (goal <= 4)  %s\n", program.name,
                    bare.name, ratio, extraMiB, ratio <= 1.25 && extraMiB <= 4.0 ? "met" : "NOT MET");
    }
    nftw(root, [](const char* path, const struct stat*, int, FTW*) { return remove(path); }, 16,
         FTW_DEPTH | FTW_PHYS);
    return 0;
}
