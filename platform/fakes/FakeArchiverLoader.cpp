#include "platform/fakes/FakeArchiverLoader.h"

namespace vask {

namespace {

struct Word {
    std::string text;
    bool quoted = false;
};

// Blanks separate words, double quotes group and are dropped: the reading the real library gives a list.
std::vector<Word> SplitWords(const std::string& line) {
    std::vector<Word> words;
    std::size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (i < line.size()) {
        while (i < line.size() && blank(line[i]))
            ++i;
        if (i >= line.size()) break;
        Word word;
        bool inQuotes = false;
        for (; i < line.size() && (inQuotes || !blank(line[i])); ++i) {
            if (line[i] == '"') {
                inQuotes = !inQuotes;
                word.quoted = true;
            } else {
                word.text += line[i];
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

bool EndsWithLzh(const std::string& name) {
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".lzh") == 0;
}

std::string ReadCurrentFolderFile(MemoryFileSystem& fs, const std::string& name, bool& found) {
    found = false;
    auto folder = fs.OpenCurrentFolder();
    if (!folder) return {};
    auto file = (*folder)->OpenForReading(name);
    if (!file) return {};
    std::string text;
    char buffer[4096];
    for (;;) {
        auto n = (*file)->Read(buffer, sizeof buffer);
        if (!n || *n == 0) break;
        text.append(buffer, *n);
    }
    found = true;
    return text;
}

}  // namespace

class FakeArchiverLoader::Library : public ArchiverLibrary {
  public:
    explicit Library(FakeArchiverLoader& loader) : loader_(loader) { ++loader_.liveLibraries; }
    ~Library() override { --loader_.liveLibraries; }

    int GetRunning() override {
        ++loader_.getRunningCalls;
        return loader_.behaviour_ == Behaviour::Busy ? 1 : 0;
    }

    int Run(const std::string& commandLine, std::string& output) override {
        loader_.commandLines.push_back(commandLine);
        std::string listText = "<missing>";
        if (loader_.fileSystem_ && commandLine.size() > 1 && commandLine[0] == '@') {
            bool found = false;
            std::string text = ReadCurrentFolderFile(*loader_.fileSystem_, commandLine.substr(1), found);
            if (found) listText = text;
        }
        loader_.listFileTexts.push_back(listText);
        if (loader_.behaviour_ == Behaviour::Busy) {
            output = "error: another archive operation is running\n";
            return 5;
        }
        if (loader_.behaviour_ != Behaviour::Move || listText == "<missing>") {
            output = "error: failed\n";
            return loader_.behaviour_ == Behaviour::Move ? 1 : loader_.failCode;
        }
        const int code = loader_.Move(listText);
        output = code == 0 ? "ok\n" : "error\n";
        return code;
    }

  private:
    FakeArchiverLoader& loader_;
};

std::unique_ptr<ArchiverLibrary> FakeArchiverLoader::Load() {
    if (behaviour_ == Behaviour::Missing) return nullptr;
    ++loads;
    return std::make_unique<Library>(*this);
}

int FakeArchiverLoader::Move(const std::string& listText) {
    std::vector<Word> words = SplitWords(listText);
    if (words.size() < 2 || words[0].text != "m") return 1;
    std::size_t i = 1;
    while (i < words.size() && !words[i].quoted && words[i].text.size() > 1 && words[i].text[0] == '-')
        ++i;
    if (i >= words.size()) return 1;
    // An unquoted archive path with blanks arrives as several words; like the real library, join them up to
    // the first word that ends in ".lzh".
    std::string archive = words[i].text;
    if (!words[i].quoted && !EndsWithLzh(archive)) {
        for (std::size_t j = i + 1; j < words.size() && !words[j].quoted; ++j) {
            if (!EndsWithLzh(words[j].text)) continue;
            for (std::size_t k = i + 1; k <= j; ++k)
                archive += " " + words[k].text;
            i = j;
            break;
        }
    }
    const std::size_t slash = archive.rfind('/');
    if (slash == std::string::npos) return 1;
    auto folder = fileSystem_->Find(archive.substr(0, slash + 1));
    if (!folder || folder->kind != EntryKind::Directory) return 4;
    std::vector<std::string> files;
    for (++i; i < words.size(); ++i)
        files.push_back(words[i].text);
    if (files.empty()) return 1;
    for (const std::string& path : files) {
        auto node = fileSystem_->Find(path);
        if (!node || node->kind != EntryKind::Regular) return 2;
    }
    std::string members;
    if (auto existing = fileSystem_->Find(archive)) members = MemoryFileSystem::ContentOf(*existing);
    for (const std::string& path : files)
        members += path + "\n";
    auto node = fileSystem_->AddFile(archive, members.size());
    node->content = members;
    for (const std::string& path : files)
        fileSystem_->Remove(path);
    return 0;
}

}  // namespace vask
