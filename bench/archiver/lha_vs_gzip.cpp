// Compares the LZH encoder with gzip -6 (and with jlha when it is installed) on about 20 MB of plain text
// (man pages and documentation from /usr/share, decompressed) and about 20 MB of ELF binaries from /usr/lib,
// and measures decoding speed. Prints the ratios last, one per line, as name=value.
//
// Targets: lh7 size <= 0.92 x gzip on text and <= 0.98 x on binaries at <= 1.5 x gzip's time; lh5 size
// <= 1.10 x gzip on text; size <= 0.98 x jlha's for the same method; decoding >= 100 MB/s.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "archiver/lha/Archive.h"
#include "archiver/lha/FileIo.h"

namespace fs = std::filesystem;
using namespace vask::lha;

namespace {

constexpr uint64_t kCorpusBytes = 20u << 20;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

uint64_t FileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

std::vector<std::string> SortedFiles(const std::string& root, bool (*want)(const fs::path&)) {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
        if (want(it->path())) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Text: gzip'ed man pages of sections 1-8 and documentation, decompressed, then plain text files.
void BuildText(const std::string& out) {
    std::string list = out + ".list";
    {
        std::ofstream l(list);
        auto man = SortedFiles("/usr/share/man", [](const fs::path& p) {
            std::string s = p.string();
            return p.extension() == ".gz" && s.find("/man/man") != std::string::npos;
        });
        for (const auto& f : man)
            l << f << '\n';
    }
    Shell("tr '\\n' '\\0' < " + list + " | xargs -0 zcat 2>/dev/null | head -c " +
          std::to_string(kCorpusBytes * 3 / 4) + " > " + out);
    std::ofstream o(out, std::ios::app | std::ios::binary);
    auto docs = SortedFiles("/usr/share/doc", [](const fs::path& p) {
        auto e = p.extension().string();
        return e == "" || e == ".txt" || e == ".md" || e == ".rst" || e == ".html";
    });
    uint64_t size = FileSize(out);
    for (const auto& f : docs) {
        if (size >= kCorpusBytes) break;
        std::ifstream in(f, std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (data.find('\0') != std::string::npos) continue;  // not text
        data.resize(std::min<uint64_t>(data.size(), kCorpusBytes - size));
        o << data;
        size += data.size();
    }
    std::remove(list.c_str());
}

void BuildBinaries(const std::string& out) {
    auto files = SortedFiles(
        "/usr/lib", [](const fs::path& p) { return p.string().find("/debug/") == std::string::npos; });
    std::ofstream o(out, std::ios::binary);
    uint64_t size = 0;
    for (const auto& f : files) {
        if (size >= kCorpusBytes) break;
        std::ifstream in(f, std::ios::binary);
        char magic[4] = {};
        if (!in.read(magic, 4) || std::string(magic, 4) !=
                                      "\x7f"
                                      "ELF")
            continue;
        in.seekg(0);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        data.resize(std::min<uint64_t>(data.size(), kCorpusBytes - size));
        o << data;
        size += data.size();
    }
}

struct Measure {
    uint64_t size = 0;
    double seconds = 0;
};

Measure Gzip(const std::string& input, const std::string& out) {
    double t = Now();
    Shell("gzip -6 -c " + input + " > " + out);
    return {FileSize(out), Now() - t};
}

Measure Ours(Method m, const std::string& input, const std::string& out) {
    FileIo& io = PosixFileIo();
    double t = Now();
    auto in = io.OpenRead(input);
    std::string path;
    auto dir = fs::path(out).parent_path().string() + "/";
    auto sink = io.CreateTemp(dir, "ours-", &path);
    if (!in || !sink) return {};
    auto r = Encode(m, **in, **sink);
    (void)(*sink)->Close();  // a scratch file of the benchmark: only its size is read
    double seconds = Now() - t;
    fs::rename(path, out);
    return {r ? r->packed_size : 0, seconds};
}

// Decoding speed in MB/s of original data.
double DecodeSpeed(Method m, const std::string& packed_path, uint64_t original) {
    auto in = PosixFileIo().OpenRead(packed_path);
    if (!in) return 0;
    NullSink sink;
    double t = Now();
    auto r = Decode(m, **in, original, sink);
    double seconds = Now() - t;
    if (!r) {
        std::cerr << "decode failed: " << r.status().ToString() << "\n";
        return 0;
    }
    return original / 1e6 / seconds;
}

// jlha's packed size for the only member of an archive it writes.
uint64_t Jlha(int method, const std::string& dir, const std::string& name) {
    std::string archive = "jlha-" + std::to_string(method) + "-" + name + ".lzh";
    if (!Shell("cd " + dir + " && jlha a2o" + std::to_string(method) + " " + archive + " " + name +
               " >/dev/null 2>&1"))
        return 0;
    auto in = PosixFileIo().OpenRead(dir + archive);
    if (!in) return 0;
    auto members = ReadDirectory(**in);
    return members && members->size() == 1 ? (*members)[0].packed_size : 0;
}

}  // namespace

int main() {
    char tmpl[] = "/tmp/vask-lha-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const std::string dir = std::string(tmpl) + "/";
    std::cout << "building corpus in " << dir << "\n";
    BuildText(dir + "text");
    BuildBinaries(dir + "elf");
    const bool have_jlha = Shell("command -v jlha >/dev/null 2>&1");
    std::map<std::string, double> ratios;  // printed last, in insertion-independent name order

    for (const std::string corpus : {"text", "elf"}) {
        const std::string input = dir + corpus;
        const uint64_t original = FileSize(input);
        std::cout << corpus << ": " << original << " bytes\n";
        Measure gz = Gzip(input, input + ".gz");
        std::cout << "  gzip -6   " << gz.size << " bytes  " << gz.seconds << " s\n";
        for (auto [m, label] : {std::pair{Method::kLh7, "lh7"}, std::pair{Method::kLh6, "lh6"},
                                std::pair{Method::kLh5, "lh5"}}) {
            Measure ours = Ours(m, input, input + "." + label);
            double speed = DecodeSpeed(m, input + "." + label, original);
            std::cout << "  " << label << "       " << ours.size << " bytes  " << ours.seconds
                      << " s  decode " << speed << " MB/s\n";
            std::string key = std::string(label) + "_" + (corpus == "text" ? "text" : "bin");
            ratios[key + "_size_vs_gzip"] = static_cast<double>(ours.size) / gz.size;
            ratios[key + "_time_vs_gzip"] = ours.seconds / gz.seconds;
            ratios[key + "_decode_mb_per_s"] = speed;
            if (have_jlha) {
                uint64_t j = Jlha(label[2] - '0', dir, corpus);
                std::cout << "  jlha " << label << "  " << j << " bytes\n";
                if (j) ratios[key + "_size_vs_jlha"] = static_cast<double>(ours.size) / j;
            }
        }
    }
    // VASK_BENCH_KEEP=1 keeps the corpus for tuning runs.
    if (!std::getenv("VASK_BENCH_KEEP")) std::filesystem::remove_all(dir);
    std::cout.precision(3);
    std::cout << std::fixed;
    for (const auto& [name, value] : ratios)
        std::cout << name << "=" << value << "\n";
    return 0;
}
