// Packing many small files with "m", the way Vask hands them over (a list file of quoted full paths): 10,000
// and 100,000 files of 100 bytes in folders of 1,000, in a fresh folder under $TMPDIR (else /tmp).
//
// Usage: pack_many [SMALL [LARGE]]. Printed last, files per second at LARGE over files per second at SMALL:
//   pack_rate_100k_vs_10k=<x>       by elapsed time (target >= 0.8)
//   pack_rate_100k_vs_10k_cpu=<x>   by the process's CPU time, for a machine busy with other work
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "archiver/lha/Command.h"
#include "archiver/lha/Operations.h"

namespace {

using Clock = std::chrono::steady_clock;

// Makes count files of 100 bytes under folder and writes the "m" command for them to list.
void MakeFiles(const std::string& folder, int count, const std::string& archive, const std::string& list) {
    ::mkdir(folder.c_str(), 0755);
    std::ofstream out(list, std::ios::binary);
    out << "m -rxa " << archive << " ";
    const std::string content(100, 'x');
    for (int i = 0; i < count; ++i) {
        const std::string sub = folder + "/d" + std::to_string(i / 1000);
        if (i % 1000 == 0) ::mkdir(sub.c_str(), 0755);
        const std::string path = sub + "/f" + std::to_string(i) + ".tmp";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, content.data(), content.size()) < 0) {
            std::perror(path.c_str());
            std::exit(1);
        }
        ::close(fd);
        out << '"' << path << "\" ";
    }
}

double CpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Rate {
    double wall = 0;  // files per second of elapsed time
    double cpu = 0;   // files per second of this process's CPU time: steadier on a busy machine
};

// Files per second of one "m" run over count fresh files.
Rate PackRate(const std::string& root, int count) {
    const std::string folder = root + "/src" + std::to_string(count);
    const std::string archive = root + "/out" + std::to_string(count) + ".lzh";
    const std::string list = root + "/list" + std::to_string(count);
    MakeFiles(folder, count, archive, list);
    ::sync();  // the files just made must not be flushed on the archiver's account
    auto& io = vask::lha::PosixFileIo();
    const double cpu_start = CpuSeconds();
    const auto start = Clock::now();
    auto command = vask::lha::ParseCommand("@" + list, io);
    if (!command) {
        std::cerr << command.status().ToString() << "\n";
        std::exit(1);
    }
    vask::lha::Outcome outcome = vask::lha::RunCommand(*command, io);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds() - cpu_start;
    if (outcome.code != 0) {
        std::cerr << outcome.text;
        std::exit(1);
    }
    std::cout << count << " files: " << seconds << " s (" << cpu << " s CPU), " << count / seconds
              << " files/s\n";
    return {count / seconds, count / cpu};
}

}  // namespace

int main(int argc, char** argv) {
    const int small = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int large = argc > 2 ? std::atoi(argv[2]) : 100000;
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/vask-pack-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data())) return 1;
    const Rate small_rate = PackRate(tmpl, small);
    const Rate large_rate = PackRate(tmpl, large);
    std::filesystem::remove_all(tmpl);
    std::cout.precision(3);
    std::cout << std::fixed << "pack_rate_100k_vs_10k=" << large_rate.wall / small_rate.wall << "\n"
              << "pack_rate_100k_vs_10k_cpu=" << large_rate.cpu / small_rate.cpu << "\n";
    return 0;
}
